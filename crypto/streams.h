// AES over whole byte streams in xkit's stream layout, Base64 coding of streams, and the
// string operation that enciphers a string into Base64 text and back.
//
// Stream layout (no header, no IV, no checksum): for N plaintext bytes, F = N div 16 and
// r = N mod 16, the F full blocks each enciphered on its own (ECB), then one final block
// enciphered from the r remaining bytes, 15 - r zero bytes and one byte holding r. The
// enciphered size is always 16 * (F + 1).
//
// Base64 text: the RFC 4648 alphabet with "=" padding, one unbroken line.
#pragma once

#include <atomic>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "platform/exceptions.h"

namespace xkit {

// Enciphered input that does not have the stream layout (too short, or a final block that
// claims more than 15 bytes: damaged data or a wrong key). Message "Invalid file format".
class ECipherException : public Exception {
public:
  using Exception::Exception;
  ~ECipherException() override;
};

// Progress of AesCryptStream: (position, size) of the input, each the low 32 bits. Called
// after every block whose end position is a multiple of CipherProgressInterval, and once
// more at the end. An input that cannot report its size (a pipe) reports size -1. Both
// settings are read once when an operation starts; set them before cipher work begins.
using TCipherProgressProc = void (*)(std::int32_t position, std::int32_t size);
extern std::atomic<TCipherProgressProc> CipherProgressHook;  // default: none
extern std::atomic<std::int32_t> CipherProgressInterval;     // bytes, default 64; below 1 acts as 1

// Reads `input`, which stands at its start, to its end and appends the enciphered
// (`encrypt` true) or deciphered bytes to `output`. The key goes to AesInitKey unchanged.
// The input's total size decides the layout; an input that cannot seek is read to its end.
// Deciphering ignores the bytes after the last whole block. Throws ECipherException
// "Invalid file format" when the input is shorter than the layout needs or the final block
// is damaged; what was written before stays written, and nothing of a damaged final block
// is written. A stream that fails to read or write raises Exception.
void AesCryptStream(std::istream& input, std::ostream& output, const void* key,
                    std::int32_t keySize, bool encrypt);

// Appends the Base64 text of the rest of `input` to `output`.
void Base64EncodeStream(std::istream& input, std::ostream& output);

// Appends the bytes that the rest of `input`'s Base64 text codes to `output`. Text is read
// in groups of four characters; "=" in a group's third place ends it after one byte, in its
// fourth after two, in every group (so concatenated padded texts decode to the concatenated
// bytes). Characters from "+" to "z" that are not Base64 digits decode with the value 127;
// any other character (a line break, a space) raises Exception "Invalid Base64 Character",
// after the bytes of the 88-character stretches before it were written. A last group of two
// or three characters decodes as if padded with "=" (one or two bytes); a lone last
// character yields nothing.
void Base64DecodeStream(std::istream& input, std::ostream& output);

// encrypt true: result := the Base64 text of `text` enciphered in the stream layout.
// encrypt false: result := the bytes deciphered from the Base64 text `text`.
// On an exception (those of the stream operations) `result` is left unchanged.
void AesCryptString(const std::string& text, const void* key, std::int32_t keySize, bool encrypt,
                    std::string& result);

}  // namespace xkit
