#pragma once
// Downloads for the self-update and the plugin installer: one HTTPS GET into
// memory, and the SHA-256 digest that every download is checked against.
#include <cstddef>
#include <string>

namespace korvane {

// Reading stops at the first chunk that takes the body past this.
inline constexpr size_t DownloadBodyLimit = 83886080;
// A manifest is a few hundred bytes; anything past this is not one.
inline constexpr size_t ManifestLimit = 65536;
// Redirects from https to https are followed this many times, no more.
inline constexpr int RedirectLimit = 5;

inline constexpr const char* TlsFailureText =
    "TLS validation failed - check the system clock, or a TLS-inspecting proxy is in the way";

// GET https://host:443/path, following https redirects. False: the body is
// empty and error says why.
[[nodiscard]] bool httpsGet(const std::wstring& host, const std::wstring& path, std::string& body,
                            std::string& error, size_t limit = DownloadBodyLimit);

// httpsGet of a manifest, refused when it is larger than ManifestLimit.
[[nodiscard]] bool fetchManifest(const std::wstring& host, const std::wstring& path,
                                 std::string& text, std::string& error);

// Lower-case hexadecimal SHA-256 of the bytes; empty when hashing fails.
std::string sha256Hex(const std::string& data);

} // namespace korvane
