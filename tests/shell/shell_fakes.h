// The engine and screens the shell tests drive a game with: an engine that keeps its settings,
// records invalidations and resource loads, and a screen that records its hooks.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "shell/game.h"
#include "shell/shell_classes.h"
#include "widgets/widget_fakes.h"

namespace lumessa::test {

class TShellEngine : public TFakeEngine {
 public:
  std::map<std::string, std::string> settings;
  std::vector<std::string> loads;  // "file:group:pump"
  std::vector<std::string> released;
  int displayApplied = 0;
  int invalidations = 0;
  TPoint cursor{};

  void SetParam(std::string_view name, const TVariant& value) override {
    settings[std::string(name)] = value.ToString();
  }
  TVariant GetParam(std::string_view name) const override {
    auto it = settings.find(std::string(name));
    return it == settings.end() ? TVariant(TVariant::Null) : TVariant(it->second);
  }
  bool ApplyDisplaySettings() override {
    ++displayApplied;
    return true;
  }
  void LoadResourceFile(std::string_view file, std::string_view group, bool pump) override {
    loads.push_back(std::string(file) + ":" + std::string(group) + (pump ? ":pump" : ":now"));
  }
  void ReleaseResourceGroup(std::string_view group) override { released.emplace_back(group); }
  TPoint GetCursorPos() const override { return cursor; }
  void InvalidateRect(const TRect&) override { ++invalidations; }
};

// Records the hooks a game screen subclass receives.
class TRecordingScreen : public TGameScreen {
 public:
  std::vector<std::string> calls;
  Ref<IParamCollection> lastChildResult;

  void OnChildClosed(std::string_view name, const Ref<IParamCollection>& result) override {
    calls.push_back("child:" + std::string(name));
    lastChildResult = result;
  }
  void OnAppActivate(bool active) override { calls.push_back(active ? "app:on" : "app:off"); }

 protected:
  void BeforeShow(const Ref<IParamCollection>& params) override {
    calls.push_back("before");
    TGameScreen::BeforeShow(params);
  }
  void AfterShow(const Ref<IParamCollection>& params) override {
    calls.push_back("after");
    TGameScreen::AfterShow(params);
  }
};

inline void EnsureShellClasses() {
  EnsureWidgetClasses();
  if (!FindObjectClass("Game").construct) RegisterShellClasses();
  if (!FindObjectClass("test_recording_screen").construct)
    RegisterObjectClass<TRecordingScreen>("test_recording_screen");
}

// A game loaded from definition text; empty when it does not load.
inline Ref<TGame> LoadGame(std::string_view xml) {
  EnsureShellClasses();
  Ref<IHierStorage> storage = LoadStorageFromText(xml);
  return Query<TGame>(CreateFromNode(storage));
}

}  // namespace lumessa::test
