#include "shell/game_screen.h"

#include "engine/log.h"
#include "persistence/param_collection.h"
#include "persistence/xml_storage.h"
#include "platform/platform.h"
#include "shell/cursors.h"

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// TGameScreen

void TGameScreen::Initialize() {
  TPropertyObject::Initialize();
  SetNodeName("gamescreen");
  window_ = NewObject<TAppearanceEffectWdiget>();
  window_->SetMouseStop(true);
  musics_ = NewObject<TMusicCollection>();
  sounds_ = NewObject<TSoundCollection>();
}

void TGameScreen::LoadProperties(const Ref<IHierStorage>& storage) {
  TPropertyObject::LoadProperties(storage);
  cursorName_ = ReadString(storage, "cursor_name");
  Ref<IHierStorage> node = storage ? storage->GetChild("window", 0) : Ref<IHierStorage>();
  if (!node) {
    Log("screen \"%s\" has no window", GetName().c_str());
    return;
  }
  window_->Load(node);
  window_->SetMouseStop(true);
  window_->SetAnchorLeft(ReadInt(node, "left", 0));
  window_->SetAnchorTop(ReadInt(node, "top", 0));
  // Hidden until shown; without an owner yet no hide effect can start.
  window_->SetVisible(false);
  LoadObjectFromChild(musics_, node, "musics", 0);
  LoadObjectFromChild(sounds_, node, "sounds", 0);
  window_->SetOwner(this);
}

void TGameScreen::SaveProperties(const Ref<IHierStorage>& storage) {
  TPropertyObject::SaveProperties(storage);
  WriteString(storage, "cursor_name", !cursorName_.empty(), cursorName_);
  if (!window_ || !storage) return;
  Ref<IHierStorage> node = storage->AddChild("window");
  window_->Save(node);
  WriteInt(node, "left", true, RoundCoord(window_->GetAnchorLeft()));
  WriteInt(node, "top", true, RoundCoord(window_->GetAnchorTop()));
  if (musics_->Count() > 0) SaveObjectToChild(musics_, node, "musics");
}

void TGameScreen::SetOwner(IGameScreenOwner* owner) {
  owner_ = Ref<IGameScreenOwner>(owner);
  if (window_ && !window_->GetOwner()) window_->SetOwner(this);
}

void TGameScreen::Done() {
  params_.reset();
  capture_.reset();
  focus_.reset();
  owner_.reset();
  ReleaseWidget(window_);
}

void TGameScreen::Show(const Ref<IParamCollection>& params) {
  appearing_ = true;
  closing_ = false;
  BeforeShow(params);
  active_ = true;
  OnShowMedia();
  Reset();
  if (Ref<IWidget> first = NextTabStop(-1)) SetFocus(first);
  if (owner_) {
    if (Ref<ICursorCollection> cursors = owner_->GetCursors()) {
      Ref<ICursor> current = cursors->GetCurrentCursor();
      previousCursor_ = current ? current->GetName() : std::string();
      cursors->SelectCursor(cursorName_.empty() ? cursors->GetDefaultCursorName() : cursorName_);
    }
  }
  if (window_) window_->SetVisible(true);
  params_ = params;
  CheckAppearing();
}

void TGameScreen::CheckAppearing() {
  if (!appearing_) return;
  bool applying = window_ && window_->GetPropertyDef("applyingeffect", false).ToBool(false);
  if (applying) return;
  appearing_ = false;
  // A copy: AfterShow may close the screen, which drops the parameters.
  Ref<IParamCollection> params = params_;
  AfterShow(params);
}

void TGameScreen::Hide() {
  params_.reset();
  OnHideMedia();
  if (focus_) focus_->OnBlur();
  focus_.reset();
  closing_ = true;
  if (window_) window_->SetVisible(false);
  if (owner_ && !previousCursor_.empty())
    if (Ref<ICursorCollection> cursors = owner_->GetCursors())
      cursors->SelectCursor(previousCursor_);
}

void TGameScreen::AdvanceTime(int dt) {
  if ((!active_ && !closing_) || !window_) return;
  window_->AdvanceTime(dt);
  if (closing_ && !window_->GetVisible()) closing_ = false;
  CheckAppearing();
}

void TGameScreen::Draw(ISurface* surface) {
  if (!window_ || !surface || !window_->GetVisible()) return;
  window_->Draw(surface, RoundCoord(window_->GetAnchorLeft()), RoundCoord(window_->GetAnchorTop()));
}

TRect TGameScreen::GetRect() const {
  return window_ ? window_->GetBounds() : TRect{};
}

bool TGameScreen::HandleMouse(uint32_t message, TPoint point, uint32_t keys) {
  if (!window_) return false;
  if (capture_) return capture_->HandleMouse(message, point, keys);
  Ref<IWidget> hit = window_->WidgetAtPos(point);
  if (!hit || !hit->GetMouseStop()) return false;
  return hit->HandleMouse(message, point, keys);
}

bool TGameScreen::HandleKey(uint32_t message, uint32_t key, uint32_t keyData) {
  if (!window_) return false;
  if (!focus_)
    if (Ref<IWidget> first = NextTabStop(-1)) SetFocus(first);
  if (!focus_) return false;
  // Kept alive: the handler may move the focus.
  Ref<IWidget> focused = focus_;
  if (!focused->HandleKey(message, key, keyData) && message == WM_KEYUP && key == VK_TAB) {
    Ref<IWidgetCollection> children = GetChildren();
    int index = children ? children->IndexOfWidget(focused.get()) : -1;
    if (Ref<IWidget> next = NextTabStop(index)) SetFocus(next);
  }
  return focus_ != nullptr;
}

Ref<IWidget> TGameScreen::NextTabStop(int after) const {
  Ref<IWidgetCollection> children = GetChildren();
  if (!children) return {};
  const int count = children->Count();
  auto isStop = [&](int i) {
    Ref<IWidget> w = children->GetByIndex(i);
    return w && w->GetTabStop() && w->GetVisible() ? w : Ref<IWidget>();
  };
  for (int i = after + 1; i < count; ++i)
    if (Ref<IWidget> w = isStop(i)) return w;
  for (int i = 0; i <= after && i < count; ++i)
    if (Ref<IWidget> w = isStop(i)) return w;
  return {};
}

void TGameScreen::OnChildClosed(std::string_view name, const Ref<IParamCollection>& result) {
  (void)name;
  (void)result;
}

Ref<IWindow> TGameScreen::GetWindow() const {
  return Ref<IWindow>(const_cast<TGameScreen*>(this));
}

bool TGameScreen::UpdateDirty() {
  if ((active_ || wasActive_ || closing_) && window_) window_->UpdateDirty(false, false);
  wasActive_ = active_;
  return active_;
}

void TGameScreen::SetCapture(const Ref<IWidget>& widget) {
  // Capturing the captured widget again is no loss of capture.
  if (capture_ == widget) return;
  Ref<IWidget> old = std::exchange(capture_, widget);
  if (old) old->OnCaptureLost();
}

void TGameScreen::ReleaseCapture() {
  Ref<IWidget> old = std::move(capture_);
  capture_.reset();
  if (old) old->OnCaptureLost();
}

void TGameScreen::SetFocus(const Ref<IWidget>& widget) {
  if (focus_ == widget) return;
  Ref<IWidget> old = std::exchange(focus_, widget);
  if (old) old->OnBlur();
  if (focus_) focus_->OnFocus();
}

void TGameScreen::KillFocus() {
  Ref<IWidget> old = std::move(focus_);
  focus_.reset();
  if (old) old->OnBlur();
}

Ref<IWidgetCollection> TGameScreen::GetChildren() const {
  return window_ ? window_->GetChildren() : Ref<IWidgetCollection>();
}

void TGameScreen::Reset() {
  capture_.reset();
  focus_.reset();
  if (window_) window_->Refresh();
}

Ref<IWidget> TGameScreen::WidgetAtPos(TPoint point) {
  return window_ ? window_->WidgetAtPos(point) : Ref<IWidget>();
}

Ref<IWidget> TGameScreen::FindWidget(std::string_view path) const {
  return window_ ? window_->FindWidget(path) : Ref<IWidget>();
}

TAudioHandle TGameScreen::PlaySound(std::string_view name) {
  Ref<ISound> sound = sounds_ ? sounds_->Get(name) : Ref<ISound>();
  Ref<IEngine> engine = GetEngine();
  return sound && engine ? engine->PlaySound(sound) : 0;
}

void TGameScreen::StopSound(std::string_view name) {
  Ref<ISound> sound = sounds_ ? sounds_->Get(name) : Ref<ISound>();
  if (Ref<IEngine> engine = GetEngine(); sound && engine) engine->StopSound(sound);
}

void TGameScreen::OnShowMedia() {
  PlaySound("sound_show_window");
  Ref<IMusic> music = musics_ ? musics_->Get("music_background") : Ref<IMusic>();
  if (Ref<IEngine> engine = GetEngine(); music && engine) engine->PlayMusic(music);
}

void TGameScreen::OnHideMedia() {
  PlaySound("sound_hide_window");
  Ref<IMusic> music = musics_ ? musics_->Get("music_background") : Ref<IMusic>();
  if (Ref<IEngine> engine = GetEngine(); music && engine) engine->StopMusic(music);
}

bool TGameScreen::HandleEvent(const Ref<IWidget>& sender, int code, const TVariant& parameter) {
  (void)sender;
  (void)code;
  (void)parameter;
  return false;
}

Ref<IEngine> TGameScreen::GetEngine() const {
  return owner_ ? owner_->GetEngine() : Ref<IEngine>();
}

Ref<IInterface> TGameScreen::GetScreenOwner() const {
  return Ref<IInterface>(owner_.get());
}

void TGameScreen::InvalidateRect(const TRect& rect) {
  if (Ref<IEngine> engine = GetEngine()) engine->InvalidateRect(rect);
}

// ---------------------------------------------------------------------------------------------
// TGameScreenQueryDialog

void TGameScreenQueryDialog::BeforeShow(const Ref<IParamCollection>& params) {
  TGameScreen::BeforeShow(params);
  if (!params || !Window()) return;
  for (int i = 0; i < params->Count(); ++i) {
    Ref<IParam> param = params->Get(i);
    if (!param) continue;
    if (Ref<IWidget> w = Window()->GetChild(param->GetName()))
      w->SetProperty("text_utf8", param->GetValue());
  }
}

bool TGameScreenQueryDialog::HandleEvent(const Ref<IWidget>& sender, int code,
                                         const TVariant& parameter) {
  if (code != 1 || !Owner()) return TGameScreen::HandleEvent(sender, code, parameter);
  Ref<IParamCollection> result = NewObject<TParamCollection>();
  result->SetValue("Button", sender ? sender->GetName() : std::string());
  Owner()->CloseScreen(Ref<IGameScreenSlave>(this), result);
  return true;
}

// ---------------------------------------------------------------------------------------------
// TGSCollection

void TGSCollection::Initialize() {
  TTypedCreationPersistItemCollection::Initialize();
  SetNodeName("gamescreens");
  SetItemNodeName("gamescreen");
}

bool TGSCollection::Add(const Ref<IGameScreenSlave>& screen) {
  if (!screen) return false;
  std::string name = screen->GetName();
  return items_.Add(Ref<IInterface>(screen), name.empty(), -1, name) != nullptr;
}

void TGSCollection::AddItem(const Ref<IInterface>& item) {
  if (Ref<IGameScreenSlave> screen = Query<IGameScreenSlave>(item))
    Add(screen);
  else
    Log("gamescreen item is not a game screen");
}

}  // namespace lumessa
