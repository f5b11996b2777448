// An HTTP client with the calls, arguments and results of the Windows internet client
// library that the fetch worker relies on, over libcurl. A handle is used by one thread at a
// time; only detail::InternetInterrupt may reach a request from another thread.
//
// What it does on the wire: HttpSendRequestA connects, sends the request and returns once
// the final response's headers are in, following redirects (http, and https from there);
// credentials given to InternetConnectA answer a Basic challenge, never sent unasked;
// INTERNET_FLAG_RELOAD sends "Cache-Control: no-cache" and "Pragma: no-cache"; the accept
// list becomes one Accept header (none when it has no non-empty entry); the agent becomes the
// User-Agent header (none for a null agent). The body is read ahead of the reader by at most
// about 1 MiB. A connection that cannot be made within the connect timeout (30 s) or a
// transfer that receives nothing for the receive timeout (60 s) fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

namespace xkit {

using HINTERNET = void*;
using INTERNET_PORT = std::uint16_t;
using LPCSTR = const char*;

inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;          // proxies as the environment says
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;             // never a proxy
inline constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;  // the service's default
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr DWORD INTERNET_SERVICE_HTTP = 3;
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;  // DWORD milliseconds
inline constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;  // DWORD milliseconds

// A session. lpszAgent null: no User-Agent header. NULL when the HTTP library is unusable.
HINTERNET InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy,
                        LPCSTR lpszProxyBypass, DWORD dwFlags);

// A connection to one server of a session; nothing goes on the wire yet. The server name is a
// host name or address (an IPv6 address in brackets) without a port. An empty user name
// means no credentials. NULL for a bad handle, an unusable server name or another service.
HINTERNET InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                           DWORD_PTR dwContext);

// A request on a connection. lpszVerb null means "GET"; lpszVersion "HTTP/1.0" or "HTTP/1.1"
// (null: 1.1); the object name goes on the request line as written and must hold no space
// or control character; lplpszAcceptTypes is a null-terminated list, or null.
HINTERNET HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName,
                           LPCSTR lpszVersion, LPCSTR lpszReferrer, LPCSTR* lplpszAcceptTypes,
                           DWORD dwFlags, DWORD_PTR dwContext);

// Sends the request with extra header lines (CRLF-separated; dwHeadersLength (DWORD)-1 for a
// zero-terminated text) and an optional body. TRUE once the final response has begun to
// arrive (its first body byte, or its whole when it has no body): its headers are then in.
BOOL HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength,
                      void* lpOptional, DWORD dwOptionalLength);

// Copies a header of the final response (HTTP_QUERY_CONTENT_LENGTH) as zero-terminated text.
// *lpdwBufferLength: in, the buffer's size; out, the text's length, or on a buffer too small
// the size needed (FALSE). lpdwIndex (optional) picks the occurrence and is advanced. FALSE
// when the header is absent or the request has no response.
BOOL HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, void* lpBuffer, DWORD* lpdwBufferLength,
                    DWORD* lpdwIndex);

// Reads dwNumberOfBytesToRead body bytes, fewer only at the end of the body. TRUE with a
// count of 0 at the clean end; FALSE on a transfer error, on a body shorter or longer than
// its Content-Length, on a timeout and after an interrupt.
BOOL InternetReadFile(HINTERNET hFile, void* lpBuffer, DWORD dwNumberOfBytesToRead,
                      DWORD* lpdwNumberOfBytesRead);

// Releases a handle and everything it holds (connection, buffers). A handle's children stay
// usable after their parent is closed.
BOOL InternetCloseHandle(HINTERNET hInternet);

// Sets INTERNET_OPTION_CONNECT_TIMEOUT or INTERNET_OPTION_RECEIVE_TIMEOUT (a DWORD of
// milliseconds) on a handle; handles opened from it later inherit the value.
BOOL InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, void* lpBuffer, DWORD dwBufferLength);

namespace detail {

// Makes the request's current or next blocking call fail promptly. Any thread; the caller
// guarantees the handle is not closed meanwhile.
void InternetInterrupt(HINTERNET hRequest);

// Body bytes received and not yet read (the read-ahead).
std::size_t InternetBufferedBytes(HINTERNET hRequest);

}  // namespace detail
}  // namespace xkit
