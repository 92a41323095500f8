#include "blog/captcha.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

namespace inkpost {
namespace {

constexpr const char* kFormatTag = "inkpost-cds 1";

std::string makeBlock(const std::string& text, char pad) {
  std::string block = text;
  block.resize(kCaptchaDataSize, pad);
  return block;
}

// One loaded data file: its settings and, from the first read on, its engine.
struct Reader {
  CaptchaSettings settings;
  std::unique_ptr<tesseract::TessBaseAPI> api;
  bool failed = false;
  std::mutex mu;
};

std::mutex gReadersMu;
std::map<std::int32_t, std::unique_ptr<Reader>>& readers() {
  static std::map<std::int32_t, std::unique_ptr<Reader>> r;
  return r;
}

Reader* readerOf(std::int32_t handle) {
  std::lock_guard<std::mutex> lock(gReadersMu);
  auto it = readers().find(handle);
  return it == readers().end() ? nullptr : it->second.get();
}

// Tesseract's OpenMP threads cost more than they bring on images this small.
// OMP_THREAD_LIMIT is read when libgomp loads, too late to set from here, so
// unless the environment already limits it, parallel regions are switched
// off through the runtime itself. These settings belong to the calling
// thread, hence the call before every read.
void limitOpenMp() {
  using SetInt = void (*)(int);
  static const bool limited = std::getenv("OMP_THREAD_LIMIT") != nullptr;
  static const SetInt maxLevels = reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
  static const SetInt numThreads = reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
  if (limited) return;
  if (maxLevels) maxLevels(0);
  if (numThreads) numThreads(1);
}

bool startEngine(Reader& r) {
  if (r.api) return true;
  if (r.failed) return false;
  auto api = std::make_unique<tesseract::TessBaseAPI>();
  if (api->Init(nullptr, r.settings.language.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
    r.failed = true;
    return false;
  }
  api->SetVariable("tessedit_char_whitelist", r.settings.whitelist.c_str());
  api->SetVariable("debug_file", "/dev/null");
  r.api = std::move(api);
  return true;
}

struct Component {
  int left, top, right, bottom;  // inclusive
  std::vector<int> pixels;       // indexes into the image
};

// A piece much wider than the others holds glyphs that touch: it is cut at
// the columns with the least ink into as many parts as its width suggests.
std::vector<Component> splitWide(std::vector<Component> comps, int imageWidth) {
  std::vector<int> widths;
  for (const auto& c : comps) widths.push_back(c.right - c.left + 1);
  std::vector<int> sorted = widths;
  std::sort(sorted.begin(), sorted.end());
  const int typical = sorted[sorted.size() / 2];
  if (typical <= 0) return comps;
  std::vector<Component> out;
  for (auto& c : comps) {
    const int width = c.right - c.left + 1;
    const int parts = static_cast<int>(static_cast<double>(width) / typical + 0.35);
    if (comps.size() < 2 || parts < 2) {
      out.push_back(std::move(c));
      continue;
    }
    std::vector<int> ink(static_cast<size_t>(width), 0);
    for (int i : c.pixels) ++ink[static_cast<size_t>(i % imageWidth - c.left)];
    std::vector<int> cuts;  // first column of each later part
    for (int p = 1; p < parts; ++p) {
      int centre = width * p / parts, best = centre;
      for (int x = std::max(1, centre - typical / 3); x <= std::min(width - 1, centre + typical / 3); ++x)
        if (ink[static_cast<size_t>(x)] < ink[static_cast<size_t>(best)]) best = x;
      cuts.push_back(best);
    }
    std::vector<Component> pieces(static_cast<size_t>(parts), Component{imageWidth, 1 << 20, -1, -1, {}});
    for (int i : c.pixels) {
      int x = i % imageWidth - c.left;
      size_t k = static_cast<size_t>(std::upper_bound(cuts.begin(), cuts.end(), x) - cuts.begin());
      Component& p = pieces[k];
      p.pixels.push_back(i);
      p.left = std::min(p.left, i % imageWidth);
      p.right = std::max(p.right, i % imageWidth);
      p.top = std::min(p.top, i / imageWidth);
      p.bottom = std::max(p.bottom, i / imageWidth);
    }
    for (auto& p : pieces)
      if (!p.pixels.empty()) out.push_back(std::move(p));
  }
  return out;
}

// The cleaned glyphs of a captcha, pasted in reading order on a white canvas
// with aligned tops and a fixed gap, upscaled, with a white border: 8-bit
// grey, one byte a pixel. Empty when no glyph survives the cleaning.
std::vector<unsigned char> cleanImage(PIX* source, const CaptchaSettings& s, int& outW, int& outH,
                                      std::vector<std::pair<int, int>>& columns) {
  outW = outH = 0;
  columns.clear();
  PIX* pix = pixConvertTo32(source);
  if (!pix) return {};
  const int w = static_cast<int>(pixGetWidth(pix)), h = static_cast<int>(pixGetHeight(pix));
  const l_uint32* data = pixGetData(pix);
  const int wpl = pixGetWpl(pix);
  std::vector<int> red(static_cast<size_t>(w * h)), green(red.size()), blue(red.size());
  std::vector<char> ink(red.size(), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      l_int32 r, g, b;
      extractRGBValues(data[y * wpl + x], &r, &g, &b);
      size_t i = static_cast<size_t>(y * w + x);
      red[i] = r;
      green[i] = g;
      blue[i] = b;
      ink[i] = (r * 299 + g * 587 + b * 114) / 1000 < s.dark;
    }
  pixDestroy(&pix);

  auto like = [&](size_t a, size_t b) {
    return std::abs(red[a] - red[b]) <= s.like && std::abs(green[a] - green[b]) <= s.like &&
           std::abs(blue[a] - blue[b]) <= s.like;
  };
  // Noise dots: ink without enough like-coloured ink around it.
  std::vector<char> keep(ink.size(), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      size_t i = static_cast<size_t>(y * w + x);
      if (!ink[i]) continue;
      int n = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          int xx = x + dx, yy = y + dy;
          if ((dx || dy) && xx >= 0 && xx < w && yy >= 0 && yy < h) {
            size_t j = static_cast<size_t>(yy * w + xx);
            if (ink[j] && like(i, j)) ++n;
          }
        }
      keep[i] = n >= s.neighbours;
    }

  // Connected like-coloured pieces (8 neighbours), so touching glyphs of
  // different colours stay apart; small pieces are noise.
  std::vector<Component> comps;
  std::vector<char> seen(keep.size(), 0);
  std::vector<int> stack;
  for (int start = 0; start < w * h; ++start) {
    if (!keep[static_cast<size_t>(start)] || seen[static_cast<size_t>(start)]) continue;
    Component c{w, h, -1, -1, {}};
    stack.assign(1, start);
    seen[static_cast<size_t>(start)] = 1;
    while (!stack.empty()) {
      int i = stack.back();
      stack.pop_back();
      c.pixels.push_back(i);
      int x = i % w, y = i / w;
      c.left = std::min(c.left, x);
      c.right = std::max(c.right, x);
      c.top = std::min(c.top, y);
      c.bottom = std::max(c.bottom, y);
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          int xx = x + dx, yy = y + dy;
          if (xx < 0 || xx >= w || yy < 0 || yy >= h) continue;
          size_t j = static_cast<size_t>(yy * w + xx);
          if (keep[j] && !seen[j] && like(static_cast<size_t>(i), j)) {
            seen[j] = 1;
            stack.push_back(static_cast<int>(j));
          }
        }
    }
    if (c.bottom - c.top + 1 >= s.minHeight && static_cast<int>(c.pixels.size()) >= s.minPixels)
      comps.push_back(std::move(c));
  }
  if (comps.empty()) return {};
  std::sort(comps.begin(), comps.end(), [](const Component& a, const Component& b) { return a.left < b.left; });
  comps = splitWide(std::move(comps), w);

  int glyphH = 0, totalW = 0;
  for (const auto& c : comps) {
    glyphH = std::max(glyphH, c.bottom - c.top + 1);
    totalW += c.right - c.left + 1;
  }
  totalW += s.gap * static_cast<int>(comps.size() - 1);
  const int k = std::max(1, s.scale);
  outW = totalW * k + 2 * s.border;
  outH = glyphH * k + 2 * s.border;
  std::vector<unsigned char> canvas(static_cast<size_t>(outW * outH), 255);
  int penX = 0;
  for (const auto& c : comps) {
    for (int i : c.pixels) {
      int gx = penX + (i % w - c.left), gy = i / w - c.top;
      for (int dy = 0; dy < k; ++dy)
        for (int dx = 0; dx < k; ++dx)
          canvas[static_cast<size_t>((s.border + gy * k + dy) * outW + s.border + gx * k + dx)] = 0;
    }
    columns.emplace_back(s.border + penX * k, s.border + (penX + c.right - c.left + 1) * k);
    penX += c.right - c.left + 1 + s.gap;
  }
  return canvas;
}

// The canvas as a Tesseract input, its edges softened: the engine reads the
// staircase outlines of small upscaled glyphs far better once smoothed.
PIX* toPix(const std::vector<unsigned char>& canvas, int w, int h, int smooth) {
  PIX* pix = pixCreate(w, h, 8);
  l_uint32* data = pixGetData(pix);
  const int wpl = pixGetWpl(pix);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SET_DATA_BYTE(data + y * wpl, x, canvas[static_cast<size_t>(y * w + x)]);
  if (smooth > 0) {
    PIX* soft = pixBlockconvGray(pix, nullptr, smooth, smooth);
    if (soft) {
      pixDestroy(&pix);
      pix = soft;
    }
  }
  return pix;
}

std::string ocr(Reader& r, PIX* pix, tesseract::PageSegMode mode) {
  r.api->SetPageSegMode(mode);
  r.api->SetImage(pix);
  std::unique_ptr<char[]> text(r.api->GetUTF8Text());
  r.api->Clear();
  std::string code;
  if (text)
    for (const char* p = text.get(); *p; ++p)
      if (r.settings.whitelist.find(*p) != std::string::npos) code += *p;
  return code;
}

// A captcha is a few kilobytes; anything far larger is not one.
constexpr size_t kMaxImageBytes = 2 << 20;
constexpr l_int32 kMaxImagePixels = 1 << 20;

std::string recognise(Reader& r, const std::string& imageBytes) {
  if (imageBytes.size() > kMaxImageBytes) return {};
  PIX* source = pixReadMem(reinterpret_cast<const l_uint8*>(imageBytes.data()), imageBytes.size());
  if (!source) return {};
  if (pixGetWidth(source) * pixGetHeight(source) > kMaxImagePixels) {
    pixDestroy(&source);
    return {};
  }
  int w = 0, h = 0;
  std::vector<std::pair<int, int>> columns;
  std::vector<unsigned char> canvas = cleanImage(source, r.settings, w, h, columns);
  pixDestroy(&source);
  if (canvas.empty()) return {};
  std::lock_guard<std::mutex> lock(r.mu);
  if (!startEngine(r)) return {};
  limitOpenMp();
  PIX* pix = toPix(canvas, w, h, r.settings.smooth);
  std::string code = ocr(r, pix, static_cast<tesseract::PageSegMode>(r.settings.psm));
  // Runs of one digit are the usual casualty of a whole-word read. When the
  // cleaning found exactly one piece per character, read the pieces one by one.
  if (static_cast<int>(code.size()) != r.settings.length &&
      static_cast<int>(columns.size()) == r.settings.length) {
    std::string single;
    for (const auto& [from, to] : columns) {
      const int margin = r.settings.border;
      BOX* box = boxCreate(std::max(0, from - margin), 0, std::min(w, to + margin) - std::max(0, from - margin), h);
      PIX* piece = pixClipRectangle(pix, box, nullptr);
      boxDestroy(&box);
      std::string c = piece ? ocr(r, piece, tesseract::PSM_SINGLE_CHAR) : std::string();
      pixDestroy(&piece);
      if (c.size() != 1) {
        single.clear();
        break;
      }
      single += c;
    }
    if (!single.empty()) code = single;
  }
  pixDestroy(&pix);
  return code;
}

int intValue(const std::string& v, int fallback) {
  char* end = nullptr;
  long n = std::strtol(v.c_str(), &end, 10);
  return end != v.c_str() && n >= 0 && n < 100000 ? static_cast<int>(n) : fallback;
}

}  // namespace

bool parseCaptchaSettings(const std::string& block, CaptchaSettings& out) {
  std::string text = block.substr(0, block.find('\0'));
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line.substr(0, line.find_last_not_of("\r ") + 1) != kFormatTag) return false;
  CaptchaSettings s;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "whitelist" && !value.empty()) s.whitelist = value;
    else if (key == "language" && !value.empty()) s.language = value;
    else if (key == "length") s.length = intValue(value, s.length);
    else if (key == "dark") s.dark = intValue(value, s.dark);
    else if (key == "like") s.like = intValue(value, s.like);
    else if (key == "neighbours") s.neighbours = intValue(value, s.neighbours);
    else if (key == "min_height") s.minHeight = intValue(value, s.minHeight);
    else if (key == "min_pixels") s.minPixels = intValue(value, s.minPixels);
    else if (key == "gap") s.gap = intValue(value, s.gap);
    else if (key == "scale") s.scale = std::clamp(intValue(value, s.scale), 1, 8);
    else if (key == "border") s.border = intValue(value, s.border);
    else if (key == "smooth") s.smooth = std::clamp(intValue(value, s.smooth), 0, 10);
    else if (key == "psm") s.psm = std::clamp(intValue(value, s.psm), 0, 13);
    else if (key == "reads") s.reads = std::clamp(intValue(value, s.reads), 1, 100);
    else if (key == "timeout") s.timeout = std::clamp(intValue(value, s.timeout), 1, 60);
  }
  out = s;
  return true;
}

const std::string& captchaDataBlock() {
  static const std::string block = makeBlock(
      "inkpost-cds 1\n"
      "# Login captcha: five digits, coloured, with noise dots and jitter.\n"
      "whitelist=0123456789\n"
      "length=5\n"
      "dark=160\n"
      "like=64\n"
      "neighbours=2\n"
      "min_height=9\n"
      "min_pixels=12\n"
      "gap=4\n"
      "scale=2\n"
      "border=10\n"
      "smooth=3\n"
      "psm=8\n"
      "language=eng\n"
      "reads=6\n"
      "timeout=5\n",
      '\0');
  return block;
}

const std::string& captchaFillerBlock() {
  static const std::string block = makeBlock("", '\0');
  return block;
}

std::int32_t LoadCdsFromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  std::string block((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto r = std::make_unique<Reader>();
  if (!parseCaptchaSettings(block, r->settings)) return 0;
  std::lock_guard<std::mutex> lock(gReadersMu);
  static std::int32_t next = 0;
  std::int32_t handle = ++next;
  readers()[handle] = std::move(r);
  return handle;
}

CaptchaSettings captchaSettings(std::int32_t handle) {
  Reader* r = readerOf(handle);
  return r ? r->settings : CaptchaSettings{};
}

std::string readCaptchaImage(std::int32_t handle, const std::string& imageBytes) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { setMsgSeverity(L_SEVERITY_NONE); });  // a bad image is an empty read, not a message
  Reader* r = readerOf(handle);
  if (!r || imageBytes.empty()) return {};
  return recognise(*r, imageBytes);
}

bool warmUpCaptchaReader(std::int32_t handle) {
  Reader* r = readerOf(handle);
  if (!r) return false;
  std::lock_guard<std::mutex> lock(r->mu);
  return startEngine(*r);
}

std::int32_t& CaptchaDataHandle() {
  static std::int32_t handle = 0;
  return handle;
}

void loadCaptchaData(const std::string& dir) {
  const std::string path = dir + "/" + kCaptchaDataFile;
  auto write = [&](const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  write(captchaDataBlock());
  CaptchaDataHandle() = LoadCdsFromFile(path);
  write(captchaFillerBlock());
  std::remove(path.c_str());
}

}  // namespace inkpost
