#include "shell/game.h"

#include "persistence/global_options.h"
#include "persistence/xml_storage.h"
#include "platform/platform.h"

namespace lumessa {

bool IsPersistedOptionName(std::string_view name) {
  static constexpr std::string_view kNames[] = {"FullScreenMode", "MusicVolume", "SoundVolume",
                                                "ShowHints"};
  for (std::string_view n : kNames)
    if (n == name) return true;
  return false;
}

void TGame::Initialize() {
  TPersistObject::Initialize();
  SetNodeName("game");
  options_ = NewObject<TParamCollection>();
  screens_ = NewObject<TGSCollection>();
  stack_ = NewObject<TGSCollection>();
  stack_->SetStored(false);
  resourceFiles_ = NewObject<TResourceFileCollection>();
  cursors_ = NewObject<TCursorCollection>();
}

void TGame::LoadProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::LoadProperties(storage);
  splashLogosName_ = ReadString(storage, "splashlogosgs");
  splashName_ = ReadString(storage, "splashgs");
  closeQueryName_ = ReadString(storage, "closequerygs");
  mainName_ = ReadString(storage, "maings");
  LoadObjectFromChild(options_, storage, "params", 0);
  LoadObjectFromChild(screens_, storage, "gamescreens", 0);
  LoadObjectFromChild(resourceFiles_, storage, "resourcefiles", 0);
  LoadObjectFromChild(cursors_, storage, "cursors", 0);
}

void TGame::SaveProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::SaveProperties(storage);
  WriteString(storage, "splashlogosgs", !splashLogosName_.empty(), splashLogosName_);
  WriteString(storage, "splashgs", !splashName_.empty(), splashName_);
  WriteString(storage, "closequerygs", !closeQueryName_.empty(), closeQueryName_);
  WriteString(storage, "maings", !mainName_.empty(), mainName_);
  SaveObjectToChild(options_, storage, "params");
  SaveObjectToChild(screens_, storage, "gamescreens");
  SaveObjectToChild(resourceFiles_, storage, "resourcefiles");
  SaveObjectToChild(cursors_, storage, "cursors");
}

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

void TGame::AttachEngine(IEngine* engine) {
  engine_ = Ref<IEngine>(engine);
  for (int i = 0; i < cursors_->Count(); ++i)
    if (Ref<ICursor> cursor = cursors_->Get(i))
      if (Ref<IWidget> w = cursor->GetWidget()) w->SetOwner(this);
  cursors_->SelectCursor(cursors_->GetDefaultCursorName());
  if (engine_) engine_->HideSystemCursor();
  LoadStoredOptions();
  PushOptionsToEngine();
  if (engine_)
    for (int i = 0; i < resourceFiles_->Count(); ++i)
      if (Ref<IResourceFile> file = resourceFiles_->Get(i); file && file->GetLoadMode() == lmSynch)
        engine_->LoadResourceFile(file->GetFileName(), file->GetName(), false);
  for (int i = 0; i < screens_->Count(); ++i)
    if (Ref<IGameScreenSlave> screen = screens_->Get(i)) screen->SetOwner(this);
  splashLogosPhase_ = !splashLogosName_.empty() && ShowScreen(splashLogosName_, {});
}

void TGame::AfterLogos() {
  if (!splashName_.empty()) ShowScreen(splashName_, {});
  if (engine_)
    for (int i = 0; i < resourceFiles_->Count(); ++i)
      if (Ref<IResourceFile> file = resourceFiles_->Get(i); file && file->GetLoadMode() == lmAsynch)
        engine_->LoadResourceFile(file->GetFileName(), file->GetName(), true);
  if (!splashName_.empty() && IsOpen(splashName_)) {
    Ref<IGameScreenSlave> splash = stack_->Get(splashName_);
    CloseScreen(splash, {});
    // Reopened at once: a hide effect still playing must not keep it on the stack.
    if (int i = stack_->IndexOf(splashName_); i >= 0) RemoveFromStack(i);
    Ref<IParamCollection> params = NewObject<TParamCollection>();
    params->SetValue("LoadComplete", true);
    ShowScreen(splashName_, params);
  } else {
    GoToMain();
  }
  loading_ = false;
}

void TGame::GoToMain() {
  if (!splashName_.empty() && IsOpen(splashName_)) CloseScreen(stack_->Get(splashName_), {});
  if (!mainName_.empty()) ShowScreen(mainName_, {});
}

void TGame::Detach() {
  lastResult_.reset();
  options_ = NewObject<TParamCollection>();
  cursors_->DetachAll();
  while (stack_->Count() > 0) stack_->Delete(stack_->Count() - 1);
  for (int i = 0; i < screens_->Count(); ++i)
    if (Ref<IGameScreenSlave> screen = screens_->Get(i)) screen->Done();
  if (engine_)
    for (int i = 0; i < resourceFiles_->Count(); ++i)
      if (Ref<IResourceFile> file = resourceFiles_->Get(i))
        engine_->ReleaseResourceGroup(file->GetName());
  engine_.reset();
}

// ---------------------------------------------------------------------------------------------
// Options

void TGame::LoadStoredOptions() {
  for (int i = 0; i < options_->Count(); ++i) {
    Ref<IParam> option = options_->Get(i);
    if (!option || !IsPersistedOptionName(option->GetName())) continue;
    std::optional<std::string> stored = GetGlobalOption(option->GetName());
    if (stored && !stored->empty())
      option->SetValue(*stored);
    else
      SetGlobalOption(option->GetName(), option->GetValue().ToString());
  }
}

void TGame::PushOptionsToEngine() {
  for (int i = 0; i < options_->Count(); ++i)
    if (Ref<IParam> option = options_->Get(i))
      UpdateEngineSetting(option->GetName(), option->GetValue());
}

bool TGame::UpdateEngineSetting(std::string_view name, const TVariant& value) {
  if (!engine_ || engine_->GetParam(name).ToString() == value.ToString()) return false;
  engine_->SetParam(name, value);
  return true;
}

void TGame::SetOption(std::string_view name, std::string_view value) {
  options_->SetValue(name, value);
  if (IsPersistedOptionName(name)) SetGlobalOption(name, value);
  if (UpdateEngineSetting(name, value)) engine_->ApplyDisplaySettings();
}

void TGame::SetOptionValue(std::string_view name, const TVariant& value) {
  options_->SetValue(name, value);
  UpdateEngineSetting(name, value);
}

TVariant TGame::GetOption(std::string_view name) const {
  return options_->GetValue(name, TVariant::Null);
}

void TGame::ToggleEngineOption(std::string_view name) {
  bool on = engine_ ? engine_->GetParam(name).ToBool(false) : GetOption(name).ToBool(false);
  SetOption(name, on ? "no" : "yes");
}

// ---------------------------------------------------------------------------------------------
// Screens

Ref<IGameScreenSlave> TGame::TopScreen() const {
  return stack_->Count() > 0 ? stack_->Get(stack_->Count() - 1) : Ref<IGameScreenSlave>();
}

bool TGame::ShowScreen(std::string_view name, const Ref<IParamCollection>& params) {
  if (IsOpen(name)) return false;
  Ref<IGameScreenSlave> screen = screens_->Get(name);
  if (!screen) return false;
  if (Ref<IGameScreenSlave> top = TopScreen()) top->Deactivate();
  stack_->Add(screen);
  screen->Show(params);
  InvalidateRect(screen->GetRect());
  return true;
}

bool TGame::CloseScreen(const Ref<IGameScreenSlave>& screen, const Ref<IParamCollection>& result) {
  Ref<IGameScreenSlave> top = TopScreen();
  if (!screen || !top || !EqualsIgnoreCase(top->GetName(), screen->GetName())) return false;
  top->Hide();
  lastResult_ = result;
  ClosedScreenPass();
  return true;
}

void TGame::ClosedScreenPass() {
  // By index: the notifications may open or close screens.
  for (int i = stack_->Count() - 1; i >= 0; --i) {
    if (i >= stack_->Count()) continue;
    Ref<IGameScreenSlave> screen = stack_->Get(i);
    if (screen && !screen->IsVisible()) RemoveFromStack(i);
  }
}

void TGame::RemoveFromStack(int index) {
  Ref<IGameScreenSlave> screen = stack_->Get(index);
  if (!screen) return;
  screen->UpdateDirty();
  const bool wasTop = index == stack_->Count() - 1;
  stack_->Delete(index);
  screen->Deactivate();
  if (index == 0) return;
  Ref<IGameScreenSlave> below = stack_->Get(index - 1);
  // A screen closing under another one (its hide effect ran on) does not wake the one below.
  if (wasTop) below->Activate();
  below->OnChildClosed(screen->GetName(), lastResult_);
}

// ---------------------------------------------------------------------------------------------
// The frame

IWidget* TGame::CursorWidget() const {
  Ref<ICursor> cursor = cursors_->GetCurrentCursor();
  return cursor ? cursor->GetWidget().get() : nullptr;
}

void TGame::Update(int elapsedMs) {
  Ref<IGameScreenSlave> top = TopScreen();
  if (top) top->AdvanceTime(elapsedMs);
  // Screens closed under another one still play their hide effects to the end.
  for (int i = stack_->Count() - 2; i >= 0; --i)
    if (Ref<IGameScreenSlave> s = stack_->Get(i); s && s->IsClosing()) s->AdvanceTime(elapsedMs);
  ClosedScreenPass();
  if (splashLogosPhase_) splashLogosPhase_ = IsOpen(splashLogosName_);
  if (splashLogosPhase_) return;
  if (!afterLogosDone_) {
    afterLogosDone_ = true;
    AfterLogos();
  }
  Ref<ICursor> cursor = cursors_->GetCurrentCursor();
  Ref<IWidget> w = cursor ? cursor->GetWidget() : Ref<IWidget>();
  if (w && engine_) {
    TPoint pos = engine_->GetCursorPos();
    TPoint hot = cursor->GetHotspot();
    w->SetAnchorLeft(pos.x - hot.x);
    w->SetAnchorTop(pos.y - hot.y);
    w->AdvanceTime(elapsedMs);
  }
}

void TGame::PrepareFrame() {
  for (int i = 0; i < stack_->Count(); ++i)
    if (Ref<IGameScreenSlave> s = stack_->Get(i)) s->UpdateDirty();
  if (IWidget* w = CursorWidget()) w->UpdateDirty(false, false);
}

namespace {
bool RectContains(const TRect& outer, const TRect& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}
}  // namespace

void TGame::Draw(ISurface* surface) {
  if (!surface) return;
  const int count = stack_->Count();
  std::vector<TRect> rects(size_t(count > 0 ? count : 0));
  for (int i = 0; i < count; ++i)
    if (Ref<IGameScreenSlave> s = stack_->Get(i)) rects[size_t(i)] = s->GetRect();
  for (int i = 0; i < count; ++i) {
    bool covered = false;
    for (int j = i + 1; j < count && !covered; ++j)
      covered = !rects[size_t(j)].IsEmpty() && RectContains(rects[size_t(j)], rects[size_t(i)]);
    if (covered) continue;
    if (Ref<IGameScreenSlave> s = stack_->Get(i)) s->Draw(surface);
  }
  if (IWidget* w = CursorWidget(); w && w->GetVisible())
    w->Draw(surface, RoundCoord(w->GetAnchorLeft()), RoundCoord(w->GetAnchorTop()));
}

// ---------------------------------------------------------------------------------------------
// Input

bool TGame::MouseMessage(uint32_t message, TPoint point, uint32_t keys) {
  Ref<IGameScreenSlave> top = TopScreen();
  bool handled = top && top->HandleMouse(message, point, keys);
  if (handled &&
      (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN))
    if (IWidget* w = CursorWidget()) w->Restart();
  return handled;
}

bool TGame::KeyMessage(uint32_t message, uint32_t wParam, uint32_t lParam) {
  Ref<IGameScreenSlave> top = TopScreen();
  bool handled = top && top->HandleKey(message, wParam, lParam);
  if (message == WM_CHAR && (lParam & kAltContextBit)) {
    switch (wParam) {
      case VK_RETURN:
        ToggleEngineOption("FullScreenMode");
        return true;
      case 'F':
      case 'f':
        ToggleEngineOption("ShowFPS");
        return true;
      case 'R':
      case 'r':
        ToggleEngineOption("ShowRects");
        return true;
      default:
        break;
    }
  }
  return handled;
}

void TGame::SetActive(bool active) {
  for (int i = 0; i < stack_->Count(); ++i)
    if (Ref<IGameScreenSlave> s = stack_->Get(i)) s->OnAppActivate(active);
}

bool TGame::CanClose() {
  if (loading_) return false;
  if (!closeQueryName_.empty() && screens_->Get(closeQueryName_) && !IsOpen(closeQueryName_)) {
    ShowScreen(closeQueryName_, {});
    return false;
  }
  return true;
}

void TGame::InvalidateRect(const TRect& rect) {
  if (engine_) engine_->InvalidateRect(rect);
}

}  // namespace lumessa
