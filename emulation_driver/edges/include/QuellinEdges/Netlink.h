// A small rtnetlink client: messages as bytes, their attributes read within bounds, a
// builder for requests, and a socket that sends a request and waits for the kernel's
// answer. A socket belongs to the network namespace of the thread that made it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quellin::edges::nl {

// One message: its type and flags, and what follows the netlink header (the family
// header, then the attributes).
struct Message {
    uint16_t type = 0;
    uint16_t flags = 0;
    std::vector<uint8_t> body;
};

struct Attribute {
    uint16_t type = 0; // without the nested and byte-order bits
    const uint8_t* data = nullptr;
    size_t size = 0;

    uint32_t u32() const;     // 0 when shorter than 4 bytes
    std::string text() const; // up to the first zero byte
};

// The attributes that follow `offset` bytes of `data`; a malformed one ends the list.
std::vector<Attribute> attributes(const uint8_t* data, size_t length, size_t offset = 0);
std::vector<Attribute> attributes(const Message& m, size_t headerSize);
std::optional<Attribute> find(const std::vector<Attribute>& list, uint16_t type);

// The messages of a buffer as the kernel sends them; a malformed one ends the list.
std::vector<Message> split(const uint8_t* data, size_t length);
// The messages back to the kernel's format (lengths and alignment filled in).
std::vector<uint8_t> join(const std::vector<Message>& messages);

// A request: the family header, then attributes in order; nested ones between
// begin_nested and end_nested.
class Builder {
public:
    Builder(uint16_t type, uint16_t flags, const void* header, size_t headerSize);
    template <class Header>
    Builder(uint16_t type, uint16_t flags, const Header& header)
        : Builder(type, flags, &header, sizeof header) {}

    Builder& put(uint16_t type, const void* data, size_t size);
    Builder& put_u8(uint16_t type, uint8_t value) { return put(type, &value, 1); }
    Builder& put_u32(uint16_t type, uint32_t value) { return put(type, &value, 4); }
    Builder& put_string(uint16_t type, const std::string& text); // with its zero byte
    // Copies an attribute as it was read.
    Builder& put(const Attribute& a) { return put(a.type, a.data, a.size); }
    size_t begin_nested(uint16_t type);
    void end_nested(size_t at);

    const Message& message() const { return m_message; }

private:
    Message m_message;
};

class Socket {
public:
    // In the calling thread's network namespace; throws std::system_error.
    Socket();
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Sends the request with an acknowledgement asked for: 0, or the kernel's -errno.
    int request(const Message& m);
    // Sends a dump request and gathers every answer: 0, or -errno.
    int dump(const Message& m, std::vector<Message>& out);
    // A request answered by one message (RTM_GETLINK by name, say): 0, or -errno.
    int get(const Message& m, Message& answer);

private:
    int exchange(const Message& m, uint16_t extraFlags, std::vector<Message>* out);

    int m_fd = -1;
    uint32_t m_seq = 0;
};

} // namespace quellin::edges::nl
