// The embedded key sets (DER key packets of LibTomCrypt), made by tools/keygen.
#pragma once

namespace altiren::crypto::blobs {

extern const unsigned char kSetAPrivate1[];
extern const unsigned long kSetAPrivate1Size;
extern const unsigned char kSetAPublic1[];
extern const unsigned long kSetAPublic1Size;
extern const unsigned char kSetAPrivate2[];
extern const unsigned long kSetAPrivate2Size;
extern const unsigned char kSetAPublic2[];
extern const unsigned long kSetAPublic2Size;

extern const unsigned char kSetBPrivate1[];
extern const unsigned long kSetBPrivate1Size;
extern const unsigned char kSetBPublic1[];
extern const unsigned long kSetBPublic1Size;
extern const unsigned char kSetBPrivate2[];
extern const unsigned long kSetBPrivate2Size;
extern const unsigned char kSetBPublic2[];
extern const unsigned long kSetBPublic2Size;

} // namespace altiren::crypto::blobs
