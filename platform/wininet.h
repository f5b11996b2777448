// An HTTP client with the calls, arguments and results of the Windows internet client
// library that the fetch worker relies on, over libcurl. A handle is used by one thread at a
// time; only detail::InternetInterrupt may reach a request from another thread.
//
// What it does on the wire: HttpSendRequestA connects, sends the request and returns once
// the final response's headers are in, following redirects: from http to http or https, from
// https (INTERNET_FLAG_SECURE) to https only. Certificates are verified, chain and host name,
// against the system's trust store unless the request's security flags say otherwise.
// Credentials given to InternetConnectA answer a Basic challenge, never sent unasked and
// never to another scheme, host or port than the connection's. INTERNET_FLAG_RELOAD sends
// "Cache-Control: no-cache" and "Pragma: no-cache"; the accept list becomes one Accept header
// (none when it has no non-empty entry); the agent becomes the User-Agent header (none for a
// null agent). A header value, user name or password holding CR or LF is refused.
//
// The body is read ahead of the reader by at most about 1 MiB. It ends at the close of the
// connection, or as soon as the length its Content-Length announces is in; a body shorter or
// longer than announced, or a response announcing two different lengths, fails. A connection
// that cannot be made within the connect timeout (30 s), a transfer that receives nothing for
// the receive timeout (60 s), or one that outlasts its time limit (none by default) fails.
//
// Every failing call leaves an ERROR_INTERNET_* code for GetLastError and a reason in plain
// words for InternetGetLastResponseInfoA, on the calling thread.
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
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;
inline constexpr DWORD INTERNET_SERVICE_HTTP = 3;
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;  // TLS (https)
inline constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
inline constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;  // the value as a DWORD, not text
inline constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;  // DWORD milliseconds; 0: libcurl's own
inline constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;  // DWORD milliseconds; 0: none
inline constexpr DWORD INTERNET_OPTION_SECURITY_FLAGS = 31;  // DWORD of SECURITY_FLAG_*

// Security flags of a request. libcurl cannot tell an unknown issuer from an expired
// certificate: either flag stops the check of the chain and its dates; the name is checked
// unless SECURITY_FLAG_IGNORE_CERT_CN_INVALID.
inline constexpr DWORD SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;

// The codes GetLastError gives after a failed call.
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
inline constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr DWORD ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040;
inline constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_HTTP_INVALID_HEADER = 12153;
inline constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
inline constexpr DWORD ERROR_INTERNET_SEC_INVALID_CERT = 12169;

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
// or control character; lplpszAcceptTypes is a null-terminated list, or null. dwFlags:
// INTERNET_FLAG_RELOAD, INTERNET_FLAG_SECURE (https, on port 443 when the connection was
// opened with INTERNET_INVALID_PORT_NUMBER).
HINTERNET HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName,
                           LPCSTR lpszVersion, LPCSTR lpszReferrer, LPCSTR* lplpszAcceptTypes,
                           DWORD dwFlags, DWORD_PTR dwContext);

// Sends the request with extra header lines (CRLF-separated; dwHeadersLength (DWORD)-1 for a
// zero-terminated text) and an optional body. TRUE once the final response has begun to
// arrive (its first body byte, or its whole when it has no body): its headers are then in.
BOOL HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength,
                      void* lpOptional, DWORD dwOptionalLength);

// Copies a header of the final response (HTTP_QUERY_CONTENT_LENGTH, HTTP_QUERY_STATUS_CODE)
// as zero-terminated text, or with HTTP_QUERY_FLAG_NUMBER as a DWORD. *lpdwBufferLength: in,
// the buffer's size; out, the text's length (or sizeof(DWORD)), or on a buffer too small the
// size needed (FALSE). lpdwIndex (optional) picks the occurrence and is advanced. FALSE when
// the header is absent or the request has no response. The status code is that of the last
// response that arrived, a redirect that was refused included.
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

// Sets INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT or
// INTERNET_OPTION_SECURITY_FLAGS (a DWORD each) on a handle; handles opened from it later
// inherit the value.
BOOL InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, void* lpBuffer, DWORD dwBufferLength);

// The ERROR_* code of this thread's last failed call.
DWORD GetLastError();

// The reason for this thread's last failed call, in words a user can act on ("Connection
// refused by 127.0.0.1 port 8080"), as zero-terminated text; *lpdwError gets its code.
// *lpdwBufferLength: in, the buffer's size; out, the text's length, or on a buffer too small
// the size needed (FALSE). (WinInet gives a server's own text here; this client its reason.)
BOOL InternetGetLastResponseInfoA(DWORD* lpdwError, char* lpszBuffer, DWORD* lpdwBufferLength);

namespace detail {

// Makes the request's current or next blocking call fail promptly. Any thread; the caller
// guarantees the handle is not closed meanwhile.
void InternetInterrupt(HINTERNET hRequest);

// Body bytes received and not yet read (the read-ahead).
std::size_t InternetBufferedBytes(HINTERNET hRequest);

// Settings that WinInet takes from the system, here per handle and inherited like options: a
// PEM file of further trusted certificates (null or empty: the system's store only), and a
// limit on the whole exchange from the send on (0: none).
BOOL InternetSetCAFile(HINTERNET hInternet, LPCSTR lpszFile);
BOOL InternetSetMaxTime(HINTERNET hInternet, DWORD dwMilliseconds);

}  // namespace detail
}  // namespace xkit
