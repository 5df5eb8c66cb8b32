#include "resources/disk_path.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/text.h"

namespace lumessa {

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& diskPath) {
  std::error_code ec;
  return !diskPath.empty() && fs::exists(diskPath, ec);
}

std::string JoinDisk(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  if (folder.back() == '/') return folder + std::string(name);
  return folder + "/" + std::string(name);
}

// The entry of `folder` whose name equals `name` ignoring ASCII case; the smallest such name
// so that the choice does not depend on the order the directory lists its entries in.
std::optional<std::string> FindEntryIgnoringCase(const std::string& folder, std::string_view name) {
  std::optional<std::string> best;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? "." : folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (EqualsIgnoreCase(entry, name) && (!best || entry < *best)) best = std::move(entry);
  }
  return best;
}

// The path of `element` inside `folder`: exact when it exists, else matched ignoring case.
std::optional<std::string> FindElement(const std::string& folder, std::string_view element) {
  std::string exact = JoinDisk(folder, element);
  if (Exists(exact)) return exact;
  if (element == "." || element == "..") return std::nullopt;
  std::optional<std::string> match = FindEntryIgnoringCase(folder, element);
  if (!match) return std::nullopt;
  return JoinDisk(folder, *match);
}

}  // namespace

std::string ToDataPath(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

std::string ToDiskPath(std::string_view dataPath) {
  std::string out(dataPath);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

std::optional<std::string> FindOnDisk(std::string_view diskPath) {
  std::string exact(diskPath);
  if (exact.find('\0') != std::string::npos) return std::nullopt;
  if (Exists(exact)) return exact;

  std::string resolved = exact.starts_with('/') ? "/" : "";
  size_t start = 0;
  while (start <= exact.size()) {
    size_t end = std::min(exact.find('/', start), exact.size());
    std::string_view element = std::string_view(exact).substr(start, end - start);
    start = end + 1;
    if (element.empty()) continue;
    std::optional<std::string> found = FindElement(resolved, element);
    if (!found) return std::nullopt;
    resolved = std::move(*found);
  }
  if (resolved.empty()) return std::nullopt;
  return resolved;
}

bool IsDirectory(const std::string& diskPath) {
  std::error_code ec;
  return fs::is_directory(diskPath, ec);
}

bool IsRegularFile(const std::string& diskPath) {
  std::error_code ec;
  return fs::is_regular_file(diskPath, ec);
}

}  // namespace lumessa
