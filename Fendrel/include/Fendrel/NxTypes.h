// Result code of every operation of the library and the string in which it hands
// out XML text and values.
#pragma once

#include <cstddef>

enum NX_RC : int {
    NX_SUCCESS = 0,
    NX_FAILURE = 1,
    // GetXML produced text but the result string could not get a buffer.
    NX_NO_BUFFER = 5,
};

// Owns one heap buffer of char (null when empty), allocated with malloc: a detached
// buffer is freed with free(), and Attach takes a buffer from malloc.
class SHString {
public:
    SHString(const char* text = nullptr);
    SHString(const SHString& other);
    SHString& operator=(const SHString& other);
    virtual ~SHString();

    // Frees the current buffer and allocates `size` zero bytes (null when that fails).
    virtual void Allocate(size_t size);
    virtual char* GetBuffer();
    virtual char* GetString();
    // Hands the buffer to the caller and leaves the string empty.
    virtual char* Detach();
    // Frees the current buffer unless it is the same pointer, then owns `buffer`.
    virtual void Attach(char* buffer);

    // Copies the text with its terminating zero; null text empties the string. The
    // text may point into this string's own buffer.
    void Assign(const char* text);

private:
    char* m_pBuffer = nullptr;
};
