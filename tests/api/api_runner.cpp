// Runs the public API's tests, whose bodies are C (tests/api/*.c, built
// against <vexil/vexil.h> only), as GoogleTest cases, and gives them the
// files, programs and threads of the test system (api_test.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "api_test.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

thread_local std::string t_context;

std::string Located(const std::string& what) {
  return t_context.empty() ? what : what + "\n  while looking at: " + t_context;
}

struct WavVector {
  std::string movie, wav;
  uint32_t track_id;
};

// Every MOVIE.trackID.wav beside its MOVIE.vxl, and every movie_NNN.vxl.
struct Vectors {
  std::vector<std::string> video;
  std::vector<WavVector> wav;

  Vectors() {
    for (const char* folder : {"audio", "video"}) {
      const fs::path dir = fs::path(vexil::test::VectorsDir()) / folder;
      if (!fs::is_directory(dir)) continue;
      for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        const size_t mark = name.find(".track");
        if (mark != std::string::npos && entry.path().extension() == ".wav") {
          const std::string id = name.substr(mark + 6, name.size() - mark - 6 - 4);
          wav.push_back({(dir / (name.substr(0, mark) + ".vxl")).string(), entry.path().string(),
                         static_cast<uint32_t>(std::stoul(id))});
        } else if (std::string(folder) == "video" && entry.path().extension() == ".vxl") {
          video.push_back(entry.path().string());
        }
      }
    }
    std::sort(video.begin(), video.end());
    std::sort(wav.begin(), wav.end(),
              [](const WavVector& a, const WavVector& b) { return a.wav < b.wav; });
  }
};

const Vectors& TheVectors() {
  static const Vectors vectors;
  return vectors;
}

// Files the tests write, in one folder removed at exit.
vexil::test::TempFile& Scratch() {
  static vexil::test::TempFile scratch("scratch");
  return scratch;
}

std::mutex g_paths_lock;

}  // namespace

extern "C" {

void api_fail(const char* file, int line, const char* what) {
  ADD_FAILURE_AT(file, line) << Located(std::string("check failed: ") + what);
}

void api_fail_values(const char* file, int line, const char* what, long long got, long long want) {
  ADD_FAILURE_AT(file, line) << Located(std::string("check failed: ") + what + "\n  got " +
                                        std::to_string(got) + ", want " + std::to_string(want));
}

void api_fail_result(const char* file, int line, const char* what, vexil_result got,
                     vexil_result want, const char* movie_error) {
  ADD_FAILURE_AT(file, line) << Located(std::string(what) + "\n  gave " + std::to_string(got) +
                                        " (" + vexil_result_text(got) + "), want " +
                                        std::to_string(want) + " (" + vexil_result_text(want) +
                                        ")\n  movie error: " + (movie_error ? movie_error : ""));
}

void api_check_text(const char* file, int line, const char* what, const char* got,
                    const char* want) {
  const std::string g = got ? got : "(null)", w = want ? want : "(null)";
  if (g != w)
    ADD_FAILURE_AT(file, line) << Located(std::string(what) + "\n  got \"" + g + "\"\n  want \"" +
                                          w + "\"");
}

void api_context(const char* format, ...) {
  if (!format) {
    t_context.clear();
    return;
  }
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  t_context = text;
}

void api_bytes_append(api_bytes* bytes, const void* data, size_t size) {
  if (size == 0) return;
  if (bytes->size + size > bytes->capacity) {
    size_t capacity = std::max<size_t>(bytes->capacity * 2, 256);
    while (capacity < bytes->size + size) capacity *= 2;
    auto* grown = static_cast<uint8_t*>(std::realloc(bytes->data, capacity));
    if (!grown) std::abort();
    bytes->data = grown;
    bytes->capacity = capacity;
  }
  std::memcpy(bytes->data + bytes->size, data, size);
  bytes->size += size;
}

void api_bytes_free(api_bytes* bytes) {
  std::free(bytes->data);
  *bytes = api_bytes{};
}

int api_bytes_equal(const api_bytes* a, const api_bytes* b) {
  return a->size == b->size && (a->size == 0 || std::memcmp(a->data, b->data, a->size) == 0);
}

api_bytes api_read_file(const char* path) {
  api_bytes bytes{};
  const std::vector<uint8_t> read = vexil::test::ReadFileBytes(path);
  if (!read.empty() || fs::exists(path)) {
    api_bytes_append(&bytes, read.data(), read.size());
    if (!bytes.data) bytes.data = static_cast<uint8_t*>(std::malloc(1));
  }
  return bytes;
}

int api_write_file(const char* path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return out.good() ? 1 : 0;
}

const char* api_temp_path(const char* name) {
  // Kept for the program's life: callers hold the pointer.
  static std::vector<std::unique_ptr<std::string>> paths;
  std::lock_guard<std::mutex> lock(g_paths_lock);
  paths.push_back(std::make_unique<std::string>(Scratch().Sibling(name)));
  return paths.back()->c_str();
}

size_t api_video_vector_count(void) {
  return TheVectors().video.size();
}

const char* api_video_vector(size_t index) {
  return TheVectors().video.at(index).c_str();
}

size_t api_wav_vector_count(void) {
  return TheVectors().wav.size();
}

void api_wav_vector(size_t index, const char** movie, const char** wav, uint32_t* track_id) {
  const WavVector& v = TheVectors().wav.at(index);
  *movie = v.movie.c_str();
  *wav = v.wav.c_str();
  *track_id = v.track_id;
}

int api_manifest_entry(const char* file_name, api_manifest* entry) {
  // The manifest is written one "key": value per line; an entry starts at
  // its "file" line.
  std::ifstream in(vexil::test::VectorsDir() + "/video/manifest.json");
  std::string line;
  bool inside = false;
  *entry = api_manifest{};
  auto value = [&](const std::string& l) {
    std::string v = l.substr(l.find(':') + 1);
    v.erase(0, v.find_first_not_of(" \""));
    v.erase(v.find_last_not_of(" \",") + 1);
    return v;
  };
  auto number = [](const std::string& v) {
    return static_cast<uint32_t>(std::stoul(v, nullptr, 0));
  };
  while (std::getline(in, line)) {
    const size_t quote = line.find('"');
    if (quote == std::string::npos) continue;
    const std::string key = line.substr(quote + 1, line.find('"', quote + 1) - quote - 1);
    if (key == "file") {
      if (inside) return 1;
      inside = value(line) == file_name;
      continue;
    }
    if (!inside) continue;
    const std::string v = value(line);
    if (key == "width") entry->width = number(v);
    if (key == "height") entry->height = number(v);
    if (key == "frames") entry->frames = number(v);
    if (key == "tracks") entry->tracks = number(v);
    if (key == "revision") entry->revision = static_cast<uint8_t>(v[0]);
    if (key == "header_flags") entry->header_flags = number(v);
    if (key == "index_entries") entry->index_entries = number(v);
    if (key == "peak_rate") entry->peak_rate = number(v);
    if (key == "peak_frame") entry->peak_frame = number(v);
    if (key == "all_key") entry->all_key = number(v);
    if (key == "rate") {
      entry->rate_num = number(v.substr(0, v.find('/')));
      entry->rate_den = number(v.substr(v.find('/') + 1));
    }
    if (key == "key_marks")
      std::snprintf(entry->key_marks, sizeof(entry->key_marks), "%s", v.c_str());
  }
  return inside ? 1 : 0;
}

int api_run_vexil(const char* arguments) {
  return vexil::test::RunProgram(vexil::test::BuiltProgram("tools/vexil"),
                                 vexil::test::SplitAtBlanks(arguments))
      .exit_code;
}

const char* api_encoder_movie(void) {
  static std::once_flag made;
  static std::string movie;
  std::call_once(made, [] {
    const std::string y4m = Scratch().Sibling("encoded.y4m");
    const std::string wav = Scratch().Sibling("encoded.wav");
    movie = Scratch().Sibling("encoded.vxl");
    const int synth = api_run_vexil(
        ("synth demo --y4m " + y4m + " --wav " + wav + " --seconds 2 --size 96x64 --fps 25")
            .c_str());
    const int encode = api_run_vexil(
        ("encode " + y4m + " --audio " + wav + " -o " + movie + " --keyint 10 --quiet").c_str());
    if (synth != 0 || encode != 0)
      ADD_FAILURE() << "the vexil tool could not make the encoder's movie (synth " << synth
                    << ", encode " << encode << ")";
  });
  return movie.c_str();
}

void api_sleep_ms(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void api_run_threads(void (*work)(void*), void** arguments, int count) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) threads.emplace_back(work, arguments[i]);
  for (std::thread& t : threads) t.join();
}

// The tests: each body is a C function test_GROUP_NAME(void).
#define API_TEST(group, name)       \
  void test_##group##_##name(void); \
  }                                 \
  TEST(Api##group, name) {          \
    api_context(nullptr);           \
    test_##group##_##name();        \
  }                                 \
  extern "C" {
#include "api_tests.inc"
#undef API_TEST

}  // extern "C"
