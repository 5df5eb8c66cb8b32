#include "support/test_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "engine/stream.h"
#include "resources/zip_writer.h"

namespace lumessa::test {

namespace fs = std::filesystem;

fs::path MakeTestFolder() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c)) && c != '.') c = '_';
  }
  fs::path folder =
      fs::path(testing::TempDir()) / ("lumessa_" + name + "_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string MakeZip(const TMembers& members, bool deflate) {
  TMemoryStream stream;
  std::unique_ptr<TZipWriter> zip = TZipWriter::Create(stream);
  EXPECT_TRUE(zip);
  if (!zip) return {};
  for (const auto& [name, bytes] : members) EXPECT_TRUE(zip->Add(name, bytes, deflate)) << name;
  EXPECT_TRUE(zip->Finish());
  return stream.Bytes();
}

}  // namespace lumessa::test

// No single allocation in these tests may exceed 1 GiB: a reader that believes a forged size
// header then fails loudly under the sanitizers instead of quietly taking the memory.
extern "C" const char* __asan_default_options() {
  return "max_allocation_size_mb=1024";
}
