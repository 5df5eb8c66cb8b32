// Small helpers for tests that need files: a fresh folder per test and ZIP archives made on the
// spot.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumessa::test {

using TMembers = std::vector<std::pair<std::string, std::string>>;

// A new empty folder under the test framework's temporary folder, named after the running test.
std::filesystem::path MakeTestFolder();

// Writes bytes to path, creating the folders above it.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& path);

// A ZIP archive holding the members (name with "/" separators, content), deflated or stored.
std::string MakeZip(const TMembers& members, bool deflate = true);

}  // namespace lumessa::test
