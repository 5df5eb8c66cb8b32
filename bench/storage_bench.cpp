// Loading a data file through the storage layer against raw pugixml on the same text: a 1 MB
// screen of nested widgets with many attributes, parsed and every attribute read by name (plus
// the absent keys a loader asks for), the way the widget loaders read their files.
#include <benchmark/benchmark.h>

#include <pugixml.hpp>

#include <cstdint>
#include <string>

#include "engine/text.h"
#include "persistence/xml_storage.h"

using namespace lumessa;

namespace {

constexpr size_t kTargetSize = 1 << 20;

// A deterministic screen: groups of widgets three levels deep, each with a dozen attributes.
std::string MakeScreen() {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const char* types[] = {"image_widget", "text_widget", "button_control", "group_widget"};
  const char* modes[] = {"normal", "screen", "overlay", "addition"};
  std::string out = "<screen name='main' type='GameScreen'>";
  int id = 0;
  auto widget = [&](int depth, auto&& self) -> void {
    out += "<widget name='w" + std::to_string(id++) + "' type='" + types[next() % 4] +
           "' anchor_left='" + std::to_string(next() % 1024) + "' anchor_top='" +
           std::to_string(next() % 768) + "' width='" + std::to_string(next() % 400) +
           "' height='" + std::to_string(next() % 300) + "' z='" + std::to_string(next() % 50) +
           "' alpha='0." + std::to_string(next() % 100) + "' rotation='" +
           std::to_string(next() % 360) + ".25' visible='" + (next() % 2 ? "yes" : "no") +
           "' blendingmode='" + modes[next() % 4] + "' color='$" +
           std::to_string(100000 + next() % 800000) + "' text='%caption_" +
           std::to_string(next() % 500) + "%'";
    if (depth == 3) {
      out += "/>";
      return;
    }
    out += ">";
    int children = 2 + int(next() % 4);
    for (int i = 0; i < children; ++i) self(depth + 1, self);
    out += "</widget>";
  };
  while (out.size() < kTargetSize) widget(0, widget);
  out += "</screen>";
  return out;
}

const std::string& Screen() {
  static const std::string text = MakeScreen();
  return text;
}

struct TTotals {
  int64_t ints = 0;
  double reals = 0;
  size_t chars = 0;
};

// Reads every key the way a widget loader does, through the typed accessors.
void ReadWidget(const Ref<IHierStorage>& w, TTotals& t) {
  t.chars += ReadString(w, "name").size();
  t.chars += ReadString(w, "type").size();
  t.ints += ReadInt(w, "anchor_left", 0) + ReadInt(w, "anchor_top", 0);
  t.ints += ReadInt(w, "width", 0) + ReadInt(w, "height", 0) + ReadInt(w, "z", 0);
  t.reals += ReadFloat(w, "alpha", 1) + ReadFloat(w, "rotation", 0);
  t.ints += ReadBool(w, "visible", true);
  t.ints += ReadEnum(w, "blendingmode", "/normal/screen/overlay/linearlight/addition", 0);
  t.ints += ReadInt(w, "color", 0);
  t.chars += ReadString(w, "text").size();
  // Keys with defaults that this file does not state.
  t.reals += ReadFloat(w, "scale_x", 1) + ReadFloat(w, "scale_y", 1);
  t.ints += ReadBool(w, "enabled", true);
  int count = w->GetChildCount("widget");
  for (int i = 0; i < count; ++i) ReadWidget(w->GetChild("widget", i), t);
}

// The same reads straight on pugixml, with the same text conversions.
int64_t Int(pugi::xml_node n, const char* name, int64_t fallback) {
  pugi::xml_attribute a = n.attribute(name);
  return a ? ParseInt(a.value()).value_or(fallback) : fallback;
}
double Float(pugi::xml_node n, const char* name, double fallback) {
  pugi::xml_attribute a = n.attribute(name);
  return a ? ParseFloat(a.value()).value_or(fallback) : fallback;
}
bool Bool(pugi::xml_node n, const char* name, bool fallback) {
  pugi::xml_attribute a = n.attribute(name);
  return a ? ParseBool(a.value()).value_or(fallback) : fallback;
}
std::string String(pugi::xml_node n, const char* name) {
  return n.attribute(name).value();
}
int Enum(pugi::xml_node n, const char* name) {
  static const char* items[] = {"normal", "screen", "overlay", "linearlight", "addition"};
  std::string_view v = n.attribute(name).value();
  for (int i = 0; i < 5; ++i)
    if (v == items[i]) return i;
  return 0;
}

void ReadRawWidget(pugi::xml_node w, TTotals& t) {
  t.chars += String(w, "name").size();
  t.chars += String(w, "type").size();
  t.ints += Int(w, "anchor_left", 0) + Int(w, "anchor_top", 0);
  t.ints += Int(w, "width", 0) + Int(w, "height", 0) + Int(w, "z", 0);
  t.reals += Float(w, "alpha", 1) + Float(w, "rotation", 0);
  t.ints += Bool(w, "visible", true);
  t.ints += Enum(w, "blendingmode");
  t.ints += Int(w, "color", 0);
  t.chars += String(w, "text").size();
  t.reals += Float(w, "scale_x", 1) + Float(w, "scale_y", 1);
  t.ints += Bool(w, "enabled", true);
  for (pugi::xml_node c : w.children("widget")) ReadRawWidget(c, t);
}

void BM_StorageLoadAndRead(benchmark::State& state) {
  const std::string& text = Screen();
  for (auto _ : state) {
    Ref<IHierStorage> root = LoadStorageFromText(text);
    TTotals t;
    int count = root->GetChildCount("widget");
    for (int i = 0; i < count; ++i) ReadWidget(root->GetChild("widget", i), t);
    benchmark::DoNotOptimize(t);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void BM_PugixmlLoadAndRead(benchmark::State& state) {
  const std::string& text = Screen();
  for (auto _ : state) {
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_ws_pcdata_single,
                    pugi::encoding_utf8);
    TTotals t;
    for (pugi::xml_node w : doc.document_element().children("widget")) ReadRawWidget(w, t);
    benchmark::DoNotOptimize(t);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

// Parsing alone, to see what the reading costs on each side.
void BM_StorageLoadOnly(benchmark::State& state) {
  const std::string& text = Screen();
  for (auto _ : state) benchmark::DoNotOptimize(LoadStorageFromText(text));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void BM_PugixmlParseOnly(benchmark::State& state) {
  const std::string& text = Screen();
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_buffer(text.data(), text.size(),
                                             pugi::parse_default | pugi::parse_ws_pcdata_single,
                                             pugi::encoding_utf8));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

BENCHMARK(BM_StorageLoadAndRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlLoadAndRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StorageLoadOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlParseOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
