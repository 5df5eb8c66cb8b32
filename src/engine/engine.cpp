#include "engine/engine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>

#include "engine/log.h"
#include "engine/random.h"
#include "engine/screenshot.h"
#include "engine/text.h"
#include "persistence/global_options.h"
#include "persistence/languages.h"
#include "persistence/param_collection.h"
#include "persistence/persist_object.h"
#include "persistence/xml_storage.h"
#include "resources/atomic_file.h"
#include "resources/audio_player.h"
#include "resources/cipher.h"
#include "resources/data_file.h"
#include "resources/disk_path.h"
#include "resources/resource_catalogue.h"

namespace lumessa {

namespace {

// Milliseconds since midnight, local time: the default seed.
uint64_t TimeOfDaySeed() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  return ((uint64_t(local.tm_hour) * 60 + uint64_t(local.tm_min)) * 60 + uint64_t(local.tm_sec)) *
             1000 +
         uint64_t(ms.count());
}

bool IsYes(const TVariant& v) {
  return EqualsIgnoreCase(v.ToString(), "yes");
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

TEngine::TEngine() = default;

TEngine::~TEngine() {
  Done();
}

void TEngine::Configure(TEngineOptions options) {
  options_ = std::move(options);
}

bool TEngine::Fail(std::string reason) {
  if (startupError_.empty()) startupError_ = std::move(reason);
  return false;
}

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

bool TEngine::Init(std::string_view definitionFile) {
  bool ok = true;
  options_.applicationFolder = WithSlash(options_.applicationFolder);
  if (!options_.applicationFolder.empty() && ::chdir(options_.applicationFolder.c_str()) != 0)
    ok = Fail("cannot enter the application folder " + options_.applicationFolder);
  SetApplicationFolder(ToDataPath(options_.applicationFolder));
  SelectLanguage("");  // the default language file
  SeedProgramRandom(options_.seed ? *options_.seed : TimeOfDaySeed());
  InitSettings();
  if (options_.platform == TPlatformKind::Headless) frameInterval_ = options_.headlessFrameMs;
  ok = ok && CreateEngineWindow();
  if (ok) {
    ReadPixelFormat();
    caption_ = GetParam("ApplicationCaption").ToString();
    platform_->SetCaption(caption_);
    InitSound();
    ok = LoadGame(definitionFile);
  }
  terminated_ = false;
  if (!ok) Done();
  return ok;
}

void TEngine::InitSettings() {
  params_ = NewObject<TParamCollection>();
  resources_ = NewObject<TResourceCollection>();
  screen_ = MakeRef<TSurface>();
  const std::pair<const char*, const char*> settings[] = {
      {"ScreenWidth", "640"},
      {"ScreenHeight", "480"},
      {"ScreenBPP", "0"},
      {"FullScreenMode", "no"},
      {"ApplicationCaption", kProductKey},
      {"SoundVolume", "70"},
      {"MusicVolume", "30"},
      {"ShowFPS", "no"},
      {"ShowRects", "yes"},
  };
  for (auto [name, value] : settings) SetParam(name, value);
  SetFocused(true);
}

bool TEngine::CreateEngineWindow() {
  platform_ = CreatePlatform(options_.platform);
  if (!platform_ || !platform_->CreateWindow(kWindowClassName)) {
    platform_.reset();
    return Fail("cannot open a window: no display (try --headless)");
  }
  windowCreated_ = true;
  IPlatform* platform = platform_.get();
  SetClipboardTextSource([platform] { return platform->GetClipboardText(); });
  GlobalOptions().SetUserDataFolder(GetUserDataFolder());
  return true;
}

void TEngine::ReadPixelFormat() {
  desktopBpp_ = platform_->DesktopBitsPerPixel();
  // Until the first frame is presented the standard layout stands in; Present reads the real
  // one from the back buffer every time.
  pixelFormat_ = TPixelFormat::FromMasks(32, 0x00FF0000, 0x0000FF00, 0x000000FF);
}

void TEngine::InitSound() {
  audio_ = std::make_unique<TAudioPlayer>(resources_);
  soundReady_ = !options_.mute && audio_->InitSound(CreateAudioOutput(options_.platform));
  if (!soundReady_) {
    if (!options_.mute) Log("no sound: the audio device did not open");
    return;
  }
  SetMusicVolumeValue(GetParam("MusicVolume"));
  audio_->SetSoundVolumeValue(GetParam("SoundVolume"));
}

bool TEngine::LoadGame(std::string_view definitionFile) {
  std::string text = LoadTextFile(definitionFile, kDefinitionFileKey);
  if (text.empty()) {
    ClearStorageCache();
    return Fail("the game definition " + std::string(definitionFile) + " is missing or empty");
  }
  Ref<IHierStorage> root = LoadStorageFromText(text);
  if (!root) {
    ClearStorageCache();
    return Fail("the game definition " + std::string(definitionFile) +
                " does not decipher or parse");
  }
  std::string type = ReadString(root, "type");
  Ref<TAbstractObject> object = CreateNamedObject(type, ReadString(root, "name"));
  game_ = Query<IGame>(object);
  if (!game_) {
    ClearStorageCache();
    return Fail(object ? "the game definition names \"" + type + "\", which is not a game"
                       : "the game definition names an unknown game type \"" + type + "\"");
  }
  LoadObject(Ref<IInterface>(object.get()), root);
  game_->AttachEngine(this);
  ClearStorageCache();
  return true;
}

void TEngine::Done() {
  if (done_) return;
  done_ = true;
  if (platform_) ShowSystemCursor();
  if (game_) game_->Detach();
  if (resources_) ReleaseResourceGroup("");
  if (audio_) audio_->Shutdown();
  soundReady_ = false;
  surfacesReady_ = false;
  if (platform_) platform_->DestroyWindow();
  if (windowCreated_) SetClipboardTextSource(nullptr);
  windowCreated_ = false;
  game_.reset();
}

// ---------------------------------------------------------------------------------------------
// The frame loop

void TEngine::Run() {
  active_ = true;
  if (platform_) lastFrameTime_ = platform_->Now();
  if (options_.fullScreen) SetParam("FullScreenMode", *options_.fullScreen ? "yes" : "no");
  if (!platform_ || !ApplyDisplaySettings()) {
    terminated_ = true;
    return;
  }
  while (!terminated_) Step();
}

void TEngine::Step() {
  TMessage message;
  if (platform_->PeekMessage(message)) {
    if (message.message == WM_QUIT) {
      terminated_ = true;
    } else if (!WindowProc(message)) {
      DefaultWindowProc(message);
    }
    return;
  }
  if (!active_) {
    platform_->WaitMessage();
    return;
  }
  if (focused_) {
    uint32_t wait = frameInterval_ - (platform_->Now() - lastFrameTime_);
    if (wait <= frameInterval_) platform_->Sleep(wait);
  } else {
    platform_->Sleep(frameInterval_);
    if (fullScreen_) return;  // no frames while the full-screen game is in the background
  }
  uint32_t now = platform_->Now();
  uint32_t elapsed = now - lastFrameTime_;
  lastFrameTime_ = now;
  if (audio_) {
    audio_->AdvanceOutput(elapsed);  // only outputs without a thread of their own mix here
    audio_->UpdateDucking();
  }
  if (!game_ || !surfacesReady_) return;

  int frame = frameCount_ + 1;
  DeliverScriptedInput(frame);
  if (!game_) return;  // the script may have closed the window
  game_->Update(int(elapsed));
  game_->PrepareFrame();
  if (dirty_) {
    game_->Draw(screen_.get());
    presentNeeded_ = true;
  }
  // A frame with nothing new to show costs no conversion: the window keeps its picture.
  if (presentNeeded_) {
    Present();
    platform_->Flip();
    presentNeeded_ = false;
  }
  ValidateAll();
  frameCount_ = frame;
  TakeScreenshots(frame);
  if (options_.frames > 0 && frameCount_ >= options_.frames) terminated_ = true;
}

void TEngine::DeliverScriptedInput(int frame) {
  for (const TInputScript::TEvent& e : options_.input.EventsFor(frame)) {
    if (e.movesCursor) platform_->SetCursorPos(e.position);
    if (!WindowProc(e.message)) DefaultWindowProc(e.message);
  }
}

void TEngine::TakeScreenshots(int frame) {
  for (const auto& [at, file] : options_.screenshotsAt) {
    if (at != frame) continue;
    if (!WriteScreenshot(*screen_, file)) Log("cannot write the screenshot %s", file.c_str());
  }
}

void TEngine::Present() {
  TBackBuffer buffer;
  if (!platform_->LockBackBuffer(buffer)) return;
  pixelFormat_ = TPixelFormat::FromMasks(buffer.bitsPerPixel, buffer.redMask, buffer.greenMask,
                                         buffer.blueMask);
  PresentSurface(*screen_, buffer);
  platform_->UnlockBackBuffer();
}

bool TEngine::ApplyDisplaySettings() {
  if (!platform_) return false;
  int width = int(GetParam("ScreenWidth").ToInt(0));
  int height = int(GetParam("ScreenHeight").ToInt(0));
  bool modeChange = false, sizeChange = false;
  if (width != screenWidth_ || height != screenHeight_) {
    screenWidth_ = width;
    screenHeight_ = height;
    modeChange = sizeChange = true;
  }
  bool full = GetParam("FullScreenMode").ToString() == "yes";
  if (full != fullScreen_ || !displayApplied_) {
    fullScreen_ = full;
    modeChange = true;
  }
  int bpp = int(GetParam("ScreenBPP").ToInt(0));
  if (bpp != screenBpp_) {
    screenBpp_ = bpp;
    if (fullScreen_) modeChange = true;
  }
  bool ok = true;
  if (modeChange) {
    ok = platform_->SetDisplayMode(screenWidth_, screenHeight_, fullScreen_);
    surfacesReady_ = ok;
    displayApplied_ = true;
    presentNeeded_ = true;
    if (platform_) lastFrameTime_ = platform_->Now();
  }
  if (sizeChange) {
    // A resized screen is blank: all of it must be drawn again.
    screen_->SetSize(screenWidth_, screenHeight_);
    InvalidateRect({0, 0, screenWidth_, screenHeight_});
  }
  std::string caption = GetParam("ApplicationCaption").ToString();
  if (caption != caption_) {
    caption_ = caption;
    platform_->SetCaption(caption_);
  }
  return ok;
}

// ---------------------------------------------------------------------------------------------
// The window

bool TEngine::WindowProc(const TMessage& m) {
  switch (m.message) {
    case WM_DESTROY:
      platform_->PostMessage({WM_QUIT, 0, 0});
      return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      SetFocused(m.message == WM_SETFOCUS);
      break;
    case WM_CLOSE:
      if (active_ && game_ && !game_->CanClose()) return true;
      if (active_ && game_) Quit();
      break;
    case WM_NCHITTEST:
      if (fullScreen_) break;
      SetOverNonClient(m.wParam != HTCLIENT);
      return true;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      if (!active_ || !game_) break;
      game_->KeyMessage(m.message, m.wParam, m.lParam);
      return true;
    case WM_SYSCOMMAND: {
      uint32_t command = m.wParam & 0xFFF0;
      if (command == SC_KEYMENU) {
        if (game_ && game_->KeyMessage(WM_CHAR, m.lParam, kAltContextBit)) return true;
      } else {
        active_ = command != SC_MINIMIZE && (focused_ || !fullScreen_);
        lastFrameTime_ = platform_->Now();
        if (command == SC_RESTORE) presentNeeded_ = true;
      }
      DefaultWindowProc(m);  // the hook is not called for system commands
      return true;
    }
    default:
      if (m.message >= WM_MOUSEMOVE && m.message <= WM_MBUTTONDBLCLK) {
        if (!active_ || !game_) break;
        TPoint point{int(m.lParam & 0xFFFF), int(m.lParam >> 16)};
        game_->MouseMessage(m.message, point, m.wParam);
        return true;
      }
      break;
  }
  if (messageHook_ && messageHook_(m)) return true;
  return false;
}

void TEngine::DefaultWindowProc(const TMessage& m) {
  switch (m.message) {
    case WM_CLOSE:
      // Closing destroys the window, which ends the run loop.
      platform_->DestroyWindow();
      WindowProc({WM_DESTROY, 0, 0});
      break;
    case WM_SYSCOMMAND:
      if ((m.wParam & 0xFFF0) == SC_MINIMIZE) platform_->Minimize();
      break;
    default:
      break;
  }
}

void TEngine::SetFocused(bool focused) {
  focused_ = focused;
  if (focused) {
    active_ = true;
    if (platform_) lastFrameTime_ = platform_->Now();
  }
  if (audio_ && soundReady_) audio_->SetFocused(focused);
  if (game_) game_->SetActive(focused);
}

void TEngine::SetOverNonClient(bool over) {
  if (over == overNonClient_) return;
  overNonClient_ = over;
  if (!cursorShown_) platform_->ShowSystemCursor(overNonClient_);
}

void TEngine::HideSystemCursor() {
  cursorShown_ = false;
  if (platform_ && !overNonClient_) platform_->ShowSystemCursor(false);
}

void TEngine::ShowSystemCursor() {
  cursorShown_ = true;
  if (platform_ && !overNonClient_) platform_->ShowSystemCursor(true);
}

TPoint TEngine::GetCursorPos() const {
  return platform_ ? platform_->GetCursorPos() : TPoint{};
}

void TEngine::SetCursorPos(TPoint p) {
  if (platform_) platform_->SetCursorPos(p);
}

void TEngine::Quit() {
  if (platform_) platform_->PostMessage({WM_CLOSE, 0, 0});
  active_ = false;
}

void TEngine::InvalidateRect(const TRect& r) {
  if (r.left > screenWidth_ || r.top > screenHeight_ || r.right <= 0 || r.bottom <= 0) return;
  TRect c{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, screenWidth_),
          std::min(r.bottom, screenHeight_)};
  if (c.left == c.right || c.top == c.bottom) return;
  screen_->AddDirtyRect(c);
  dirty_ = true;
}

void TEngine::ValidateAll() {
  if (screen_) screen_->ClearDirtyRects();
  dirty_ = false;
}

// ---------------------------------------------------------------------------------------------
// Settings

void TEngine::SetParam(std::string_view name, const TVariant& value) {
  params_->SetValue(name, value);
  if (EqualsIgnoreCase(name, "MusicVolume")) {
    SetMusicVolumeValue(value);
  } else if (EqualsIgnoreCase(name, "SoundVolume")) {
    if (audio_ && soundReady_) audio_->SetSoundVolumeValue(value);
  } else if (EqualsIgnoreCase(name, "ShowFPS")) {
    showFps_ = IsYes(value);
  } else if (EqualsIgnoreCase(name, "ShowRects")) {
    showRects_ = IsYes(value);
  }
}

TVariant TEngine::GetParam(std::string_view name) const {
  if (!params_ || !params_->Contains(name)) return TVariant(TVariant::Null);
  return params_->GetValue(name);
}

// ---------------------------------------------------------------------------------------------
// Files

std::string TEngine::GetUserDataFolder() const {
  if (!options_.userDataFolder.empty()) return WithSlash(options_.userDataFolder);
  std::string home = UserDataHome();
  if (!home.empty()) {
    std::string maker = home + "/" + kMakerFolder;
    std::string product = maker + "/" + kProductKey;
    if (CreateFolders(home) && (IsDirectory(maker) || ::mkdir(maker.c_str(), 0700) == 0) &&
        (IsDirectory(product) || ::mkdir(product.c_str(), 0700) == 0))
      return product + "/";
  }
  return options_.applicationFolder;
}

namespace {

// Replaces folder + fileName atomically, making the folders it needs.
bool SaveBelow(const std::string& folder, std::string_view fileName, std::string_view text) {
  std::string path = folder + ToDiskPath(fileName);
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !CreateFolders(path.substr(0, slash))) {
    Log("cannot create the folder of %s", path.c_str());
    return false;
  }
  if (WriteFileAtomically(path, text)) return true;
  Log("cannot write %s", path.c_str());
  return false;
}

}  // namespace

bool TEngine::SaveUserDataFile(std::string_view text, std::string_view fileName) {
  return SaveBelow(GetUserDataFolder(), fileName, text);
}

bool TEngine::SaveApplicationFile(std::string_view text, std::string_view fileName) {
  return SaveBelow(options_.applicationFolder, fileName, text);
}

std::string TEngine::LoadTextFile(std::string_view fileName, std::string_view key) {
  std::string raw = ReadDataFile(fileName);
  // Read as lines and joined again, each line ending in CR LF.
  std::string text;
  text.reserve(raw.size() + raw.size() / 32);
  size_t start = 0;
  while (start < raw.size()) {
    size_t nl = raw.find('\n', start);
    size_t end = nl == std::string::npos ? raw.size() : nl;
    size_t lineEnd = end > start && raw[end - 1] == '\r' ? end - 1 : end;
    text.append(raw, start, lineEnd - start);
    text += "\r\n";
    start = end + 1;
  }
  if (key.empty()) return text;
  return DecodeText(text, key, kTextFormatHex);
}

TStreamPtr TEngine::OpenDataStream(std::string_view fileName) {
  return OpenDataFile(fileName);
}

void TEngine::OpenDocument(std::string_view fileName) {
  std::string path = options_.applicationFolder + ToDiskPath(fileName);
  std::optional<std::string> found = FindOnDisk(path);
  if (!found || !IsRegularFile(*found)) {
    Log("no document %.*s to open", int(fileName.size()), fileName.data());
    return;
  }
  if (platform_ && platform_->OpenUrl(*found)) platform_->Minimize();
}

void TEngine::OpenUrl(std::string_view url) {
  if (platform_ && platform_->OpenUrl(url)) platform_->Minimize();
}

Ref<ISurface> TEngine::CreateSurface() {
  return MakeRef<TSurface>();
}

// ---------------------------------------------------------------------------------------------
// Resources

void TEngine::LoadResources(const Ref<IHierStorage>& storage, std::string_view group,
                            bool pumpFrames) {
  if (!storage || storage->GetChildCount("content") == 0) return;
  Ref<IHierStorage> content = storage->GetChild("content", 0);
  int count = content->GetChildCount("resource");
  for (int i = 0; i < count; ++i) {
    if (pumpFrames && platform_) Step();  // keeps a loading screen animating
    Ref<IHierStorage> node = content->GetChild("resource", i);
    std::string name = ReadString(node, "name");
    bool present = false;
    for (int j = 0; j < resources_->Count() && !present; ++j) {
      Ref<IResource> r = resources_->Get(TVariant(j));
      present = r && r->GetName() == name;
    }
    if (present) {
      Log("resource \"%s\" is listed twice; the second is skipped", name.c_str());
      continue;
    }
    std::string type = ReadString(node, "type");
    Ref<TAbstractObject> object = CreateNamedObject(type, name);
    Ref<IResource> resource = Query<IResource>(object);
    if (!resource) {
      Log("resource \"%s\" has the unknown type \"%s\"", name.c_str(), type.c_str());
      continue;
    }
    LoadObject(Ref<IInterface>(object.get()), node);
    resource->SetGroup(group);
    resource->SetOwner(this);
    resources_->Add(resource);
  }
}

void TEngine::LoadResourceFile(std::string_view fileName, std::string_view group, bool pumpFrames) {
  std::string text = LoadTextFile(fileName, kDefinitionFileKey);
  Ref<IHierStorage> storage = LoadStorageFromText(text);
  if (!storage) {
    Log("resource file %.*s is missing or does not decipher", int(fileName.size()),
        fileName.data());
    return;
  }
  LoadResources(storage, group, pumpFrames);
}

void TEngine::ReleaseResourceGroup(std::string_view group) {
  if (resources_) resources_->RemoveGroup(group);
}

Ref<IResource> TEngine::FindResource(std::string_view name) {
  return resources_ ? resources_->Get(TVariant(name)) : Ref<IResource>();
}

void TEngine::RemoveResource(std::string_view name) {
  if (!resources_) return;
  // Released first, so that its data (a sample, a module) is freed with it.
  if (Ref<IResource> resource = resources_->Get(TVariant(name))) resource->ReleaseResource();
  resources_->Delete(TVariant(name));
}

TPixelFormatRecord TEngine::GetPixelFormat() const {
  TPixelFormatRecord r;
  r.redMask = pixelFormat_.red.mask;
  r.greenMask = pixelFormat_.green.mask;
  r.blueMask = pixelFormat_.blue.mask;
  r.redShift = pixelFormat_.red.shift;
  r.greenShift = pixelFormat_.green.shift;
  r.blueShift = pixelFormat_.blue.shift;
  r.redBits = pixelFormat_.red.bits;
  r.greenBits = pixelFormat_.green.bits;
  r.blueBits = pixelFormat_.blue.bits;
  return r;
}

uint32_t TEngine::ConvertColor(uint32_t rgb) const {
  return surfacesReady_ ? lumessa::ConvertColor(pixelFormat_, rgb) : 0;
}

// ---------------------------------------------------------------------------------------------
// Sound and music: the audio player answers; without a device everything is silent and 0.

TAudioHandle TEngine::PlayMusic(const Ref<IMusic>& music) {
  return soundReady_ ? audio_->PlayMusic(music) : 0;
}
void TEngine::StopMusic(const Ref<IMusic>& music) {
  if (soundReady_) audio_->StopMusic(music);
}
TAudioHandle TEngine::PlaySound(const Ref<ISound>& sound) {
  return soundReady_ ? audio_->PlaySound(sound) : 0;
}
void TEngine::StopSound(const Ref<ISound>& sound) {
  if (soundReady_) audio_->StopSound(sound);
}
void TEngine::StopAllSounds() {
  if (soundReady_) audio_->StopAllSounds();
}
void TEngine::SetMusicVolumeValue(const TVariant& value) {
  if (soundReady_) audio_->SetMusicVolumeValue(value);
}
TAudioHandle TEngine::LoadMusicModule(std::string_view fileName) {
  return soundReady_ ? audio_->LoadMusicModule(fileName) : 0;
}
void TEngine::FreeMusicModule(TAudioHandle handle) {
  if (soundReady_) audio_->FreeMusicModule(handle);
}
TAudioHandle TEngine::LoadSample(std::string_view fileName, uint16_t maxPlaybacks, bool loop) {
  return soundReady_ ? audio_->LoadSample(fileName, maxPlaybacks, loop) : 0;
}
TAudioHandle TEngine::LoadMusicSample(std::string_view fileName, TAudioHandle& sample) {
  sample = 0;
  return soundReady_ ? audio_->LoadMusicSample(fileName, sample) : 0;
}
void TEngine::FreeSample(TAudioHandle handle) {
  if (soundReady_) audio_->FreeSample(handle);
}
bool TEngine::IsChannelPlaying(TAudioHandle channel) const {
  return soundReady_ && audio_->IsChannelPlaying(channel);
}
void TEngine::StopChannel(TAudioHandle channel) {
  if (soundReady_) audio_->StopChannel(channel);
}

void RegisterEngineClasses() {
  RegisterObjectClass<TEngine>("Engine");
}

}  // namespace lumessa
