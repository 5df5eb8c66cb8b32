// Storage text as data files hold it: any bytes are loaded as XML storage and every node and
// attribute is walked through the storage interface and the typed accessors. Besides crashes it
// checks that a loaded document's text loads again to the same text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "persistence/xml_storage.h"

using namespace lumessa;

namespace {

// Whole-subtree operations (text, XML) on every node would be quadratic in the depth; a few
// nodes are enough to exercise them.
constexpr int kSubtreeChecks = 64;

void Walk(const Ref<IHierStorage>& root) {
  std::vector<std::pair<Ref<IHierStorage>, int>> stack;
  stack.emplace_back(root, 0);
  int visited = 0;
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (next == 0) {
      node->GetNodeName();
      int count = node->GetValueCount();
      for (int i = 0; i < count; ++i) {
        std::string name = node->GetValueName(i);
        node->ReadValueAt(i, "");
        ReadString(node, name);
        ReadInt(node, name, 0);
        ReadFloat(node, name, 0);
        ReadBool(node, name, false);
        ReadEnum(node, name, "/normal/screen/overlay", 0);
      }
      if (visited++ < kSubtreeChecks) {
        node->GetText();
        node->GetInnerText();
        node->GetXml();
      }
      node->GetByPath("a/b", "widgets");
      node->ReadChildText("a");
    }
    if (next < node->GetChildCount("")) {
      Ref<IHierStorage> child = node->GetChild("", next++);
      if (child) stack.emplace_back(std::move(child), 0);
    } else {
      stack.pop_back();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Ref<IHierStorage> root = LoadStorageFromText(text);
  if (!root) return 0;
  Walk(root);

  std::optional<std::string> saved = Query<IHierStorageRoot>(root)->GetDocumentText();
  if (!saved) __builtin_trap();
  Ref<IHierStorage> again = LoadStorageFromText(*saved);
  if (!again) __builtin_trap();  // what we write, we read
  if (Query<IHierStorageRoot>(again)->GetDocumentText() != saved) __builtin_trap();

  // Changes through the interface: copies, removals and text replacement.
  root->AppendCopy(root);
  if (Ref<IHierStorage> first = root->GetChild("", 0)) {
    Ref<IHierStorage> grandchild = first->GetChild("", 0);
    root->RemoveChild(first);
    if (grandchild) grandchild->GetXml();
  }
  root->SetInnerXml(text);
  root->SetText("done");
  ClearStorageCache();  // "_outstorage" files the input named
  return 0;
}
