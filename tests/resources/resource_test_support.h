// What the resource tests share: the engine's side of loading (a fake IResourceOwner) and a
// fixture with its own application folder and catalogue.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "persistence/xml_storage.h"
#include "resources/data_file.h"
#include "resources/resource_catalogue.h"
#include "support/test_files.h"

namespace lumessa::test {

inline void EnsureResourceClasses() {
  if (!FindObjectClass("ImageResource").construct) RegisterResourceClasses();
}

// Opens data files through the data-file layer and records every file it opens. The audio
// operations record each call and hand out handles 1, 2, 3, ... ; lookups go to the catalogue.
class TFakeOwner : public TAbstractObject, public virtual IResourceOwner {
 public:
  TStreamPtr OpenDataStream(std::string_view fileName) override {
    opened.emplace_back(fileName);
    return OpenDataFile(fileName);
  }
  TPixelFormatRecord GetPixelFormat() const override { return {}; }
  uint32_t ConvertColor(uint32_t rgb) const override { return rgb; }
  TAudioHandle LoadMusicModule(std::string_view fileName) override {
    return Hand("LoadMusicModule " + std::string(fileName));
  }
  void FreeMusicModule(TAudioHandle handle) override {
    calls.push_back("FreeMusicModule " + std::to_string(handle));
  }
  TAudioHandle LoadSample(std::string_view fileName, uint16_t maxPlaybacks, bool loop) override {
    return Hand("LoadSample " + std::string(fileName) + " " + std::to_string(maxPlaybacks) +
                (loop ? " loop" : ""));
  }
  TAudioHandle LoadMusicSample(std::string_view fileName, TAudioHandle& sample) override {
    sample = Hand("LoadMusicSample " + std::string(fileName));
    return next_++;  // the channel
  }
  void FreeSample(TAudioHandle handle) override {
    calls.push_back("FreeSample " + std::to_string(handle));
  }
  Ref<IResource> FindResource(std::string_view name) override {
    return catalogue ? catalogue->Get(TVariant(name)) : Ref<IResource>();
  }

  std::vector<std::string> opened;
  std::vector<std::string> calls;
  Ref<TResourceCollection> catalogue;

 private:
  // Records "call -> handle".
  TAudioHandle Hand(std::string call) {
    calls.push_back(call + " -> " + std::to_string(next_));
    return next_++;
  }
  TAudioHandle next_ = 1;
};

// Each test runs in a fresh folder that is the current directory and the application folder,
// with its own owner and catalogue; everything left in the catalogue is released at the end.
class ResourceTest : public testing::Test {
 protected:
  void SetUp() override {
    EnsureResourceClasses();
    root_ = MakeTestFolder();
    previousDirectory_ = std::filesystem::current_path();
    std::filesystem::current_path(root_);
    SetApplicationFolder("");
    ResetCurrentReader();
    owner_ = MakeRef<TFakeOwner>();
    owner_->catalogue = NewObject<TResourceCollection>();
  }
  void TearDown() override {
    owner_->catalogue->RemoveGroup("");
    owner_->catalogue.reset();
    ResetCurrentReader();
    std::filesystem::current_path(previousDirectory_);
    std::filesystem::remove_all(root_);
  }

  // Adds the "resource" children of the document's "content" as the engine does: created by
  // "type", loaded from the node, given the group and the owner, then added.
  void LoadResources(std::string_view xml, std::string_view group = "") {
    Ref<IHierStorage> root = LoadStorageFromText(xml);
    ASSERT_TRUE(root) << xml;
    Ref<IHierStorage> content = root->GetChild("content", 0);
    ASSERT_TRUE(content) << xml;
    for (int i = 0; i < content->GetChildCount("resource"); ++i) {
      Ref<IResource> resource = Query<IResource>(CreateFromNode(content->GetChild("resource", i)));
      if (!resource) continue;
      resource->SetGroup(group);
      resource->SetOwner(owner_.get());
      owner_->catalogue->Add(resource);
    }
  }

  template <class I = IResource>
  Ref<I> Get(std::string_view name) const {
    return Query<I>(owner_->catalogue->Get(TVariant(name)));
  }

  // The catalogue's names in order.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 0; i < owner_->catalogue->Count(); ++i)
      names.push_back(owner_->catalogue->Get(TVariant(i))->GetName());
    return names;
  }

  void Write(const std::string& path, std::string_view bytes) { WriteFile(root_ / path, bytes); }

  std::filesystem::path root_;
  std::filesystem::path previousDirectory_;
  Ref<TFakeOwner> owner_;
};

}  // namespace lumessa::test
