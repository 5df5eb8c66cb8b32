// lumessa-pack: the data tool. Enciphers definition files into the hexadecimal text the game
// reads, deciphers them back, and packs a folder into the archive that can replace it.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "resources/atomic_file_stream.h"
#include "resources/cipher.h"
#include "resources/disk_path.h"
#include "resources/zip_writer.h"

namespace fs = std::filesystem;
using namespace lumessa;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage:\n"
    "  lumessa-pack encode --key KEY IN OUT   encipher a plain file into hexadecimal text\n"
    "  lumessa-pack decode --key KEY IN OUT   decipher hexadecimal text back into the plain file\n"
    "  lumessa-pack qvd DIR OUT.qvd           pack a folder into an archive (members relative\n"
    "                                         to DIR, \"/\" separators, deflated)\n"
    "  lumessa-pack --help                    show this text\n"
    "Outputs replace their previous file only once complete.\n";

struct TArguments {
  std::string command;
  std::optional<std::string> key;
  std::vector<std::string> files;
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "lumessa-pack: %s\n%s", message.c_str(), kUsage);
  return kExitUsage;
}

int Failure(const std::string& message) {
  std::fprintf(stderr, "lumessa-pack: %s\n", message.c_str());
  return kExitFailed;
}

// Options may stand anywhere after the command; "--key KEY" and "--key=KEY" both work.
std::optional<TArguments> ParseArguments(int argc, char** argv, std::string& error) {
  TArguments args;
  args.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--key") {
      if (i + 1 >= argc) {
        error = "--key needs a value";
        return std::nullopt;
      }
      args.key = argv[++i];
    } else if (arg.starts_with("--key=")) {
      args.key = std::string(arg.substr(6));
    } else if (arg.starts_with("--")) {
      error = "unknown option '" + std::string(arg) + "'";
      return std::nullopt;
    } else {
      args.files.emplace_back(arg);
    }
  }
  return args;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  if (!IsRegularFile(path)) return std::nullopt;
  std::unique_ptr<TFileStream> file = TFileStream::Open(path, TFileStream::Mode::Read);
  if (!file) return std::nullopt;
  std::string bytes = file->ReadRest();
  if (bytes.size() != file->Size()) return std::nullopt;
  return bytes;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  std::unique_ptr<TAtomicFileStream> out = TAtomicFileStream::Create(path);
  if (!out) return false;
  if (out->Write(bytes.data(), bytes.size()) != bytes.size()) {
    out->Abandon();
    return false;
  }
  return out->Commit();
}

int RunCipher(const TArguments& args, bool encode) {
  if (!args.key) return UsageError(args.command + " needs --key KEY");
  if (args.files.size() != 2) return UsageError(args.command + " needs IN and OUT");
  const std::string& in = args.files[0];
  const std::string& out = args.files[1];
  std::optional<std::string> input = ReadWholeFile(in);
  if (!input) return Failure("cannot read '" + in + "'");
  std::string output = encode ? EncodeText(*input, *args.key, kTextFormatHex)
                              : DecodeText(*input, *args.key, kTextFormatHex);
  if (!WriteWholeFile(out, output)) return Failure("cannot write '" + out + "'");
  return kExitOk;
}

// The regular files below dir as "/" paths relative to it, in name order so that the same
// folder always packs into the same bytes. The archive being written is left out.
std::optional<std::vector<std::string>> ListFiles(const fs::path& dir, const fs::path& archive,
                                                  std::string& error) {
  std::vector<std::string> files;
  std::error_code ec;
  fs::path archiveFull = fs::weakly_canonical(archive, ec);
  fs::recursive_directory_iterator it(dir, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::error_code same;
    if (fs::equivalent(it->path(), archiveFull, same)) continue;
    files.push_back(it->path().lexically_relative(dir).generic_string());
  }
  if (ec) {
    error = "cannot list '" + dir.string() + "': " + ec.message();
    return std::nullopt;
  }
  std::sort(files.begin(), files.end());
  return files;
}

int RunPack(const TArguments& args) {
  if (args.key) return UsageError("qvd takes no --key");
  if (args.files.size() != 2) return UsageError("qvd needs DIR and OUT.qvd");
  const fs::path dir = args.files[0];
  const std::string& out = args.files[1];
  if (!IsDirectory(dir.string())) return Failure("'" + dir.string() + "' is not a folder");
  std::string error;
  std::optional<std::vector<std::string>> files = ListFiles(dir, out, error);
  if (!files) return Failure(error);

  std::unique_ptr<TAtomicFileStream> stream = TAtomicFileStream::Create(out);
  if (!stream) return Failure("cannot write '" + out + "'");
  std::unique_ptr<TZipWriter> zip = TZipWriter::Create(*stream);
  if (!zip) {
    stream->Abandon();
    return Failure("cannot write '" + out + "'");
  }
  for (const std::string& name : *files) {
    std::optional<std::string> bytes = ReadWholeFile((dir / name).string());
    if (!bytes) error = "cannot read '" + (dir / name).string() + "'";
    if (bytes && !zip->Add(name, *bytes)) error = "cannot write '" + out + "'";
    if (!error.empty()) break;
  }
  if (error.empty() && !zip->Finish()) error = "cannot write '" + out + "'";
  zip.reset();
  if (error.empty() && !stream->Commit()) error = "cannot write '" + out + "'";
  if (!error.empty()) {
    stream->Abandon();
    return Failure(error);
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no command given");
  std::string_view first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  std::string error;
  std::optional<TArguments> args = ParseArguments(argc, argv, error);
  if (!args) return UsageError(error);
  if (args->command == "encode") return RunCipher(*args, true);
  if (args->command == "decode") return RunCipher(*args, false);
  if (args->command == "qvd") return RunPack(*args);
  return UsageError("unknown command '" + args->command + "'");
}
