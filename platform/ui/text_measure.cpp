#include "platform/ui/text_measure.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <mutex>

#include "platform/rtl/strings.h"

namespace pw::ui {

namespace {

// A font configuration that knows only the files of one folder; scans are cached in the
// user's cache folder. Null when it cannot be built.
FcConfig* BuildConfig(const std::string& folder) {
  if (folder.find_first_of("<>&\"") != std::string::npos) return nullptr;
  const std::string text = "<?xml version=\"1.0\"?><fontconfig><dir>" + folder +
                           "</dir><cachedir prefix=\"xdg\">fontconfig</cachedir></fontconfig>";
  FcConfig* c = FcConfigCreate();
  if (c && (!FcConfigParseAndLoadFromMemory(c, reinterpret_cast<const FcChar8*>(text.c_str()), FcFalse) ||
            !FcConfigBuildFonts(c))) {
    FcConfigDestroy(c);
    c = nullptr;
  }
  return c;
}

// The configuration of the DejaVu folder, built once.
FcConfig* DejaVuConfig() {
  static FcConfig* config = BuildConfig(kDejaVuFolder);
  return config;
}

std::string FindFile(FcConfig* config, const std::string& folder, const char* family, bool bold, bool italic) {
  if (!config) throw FontError("no fonts: the DejaVu fonts are not in " + folder);
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_OBLIQUE : FC_SLANT_ROMAN);
  FcPatternAddInteger(pattern, FC_WIDTH, FC_WIDTH_NORMAL);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  std::string file;
  FcChar8* path = nullptr;
  if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
    file = reinterpret_cast<const char*>(path);
  if (match) FcPatternDestroy(match);
  if (file.empty()) throw FontError(std::string("no fonts: no DejaVu face for ") + family + " in " + folder);
  return file;
}

std::mutex& LibraryLock() {
  static std::mutex m;
  return m;
}

}  // namespace

struct MeasuredFont::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~Face() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

const char* FontFamilyFor(WideStringView name) {
  if (SameTextIgnoringCase(name, u"Arial") || SameTextIgnoringCase(name, u"Tahoma")) return "DejaVu Sans";
  if (SameTextIgnoringCase(name, u"Times New Roman")) return "DejaVu Serif";
  if (SameTextIgnoringCase(name, u"Courier New")) return "DejaVu Sans Mono";
  return "DejaVu Sans";
}

MeasuredFont::MeasuredFont(const FontSpec& spec) : spec_(spec), face_(std::make_unique<Face>()) {
  {
    std::lock_guard<std::mutex> lock(LibraryLock());
    file_ = FindFile(DejaVuConfig(), kDejaVuFolder, FontFamilyFor(spec.Name), spec.Bold, spec.Italic);
  }
  if (FT_Init_FreeType(&face_->library) != 0) throw FontError("the font engine does not start");
  if (FT_New_Face(face_->library, file_.c_str(), 0, &face_->face) != 0)
    throw FontError("the font file " + file_ + " does not load");
  pixels_ = static_cast<std::int32_t>(std::lround(std::max(spec.Size, 1) * 96.0 / 72.0));
  pixels_ = std::min(pixels_, 2048);
  if (FT_Set_Pixel_Sizes(face_->face, 0, static_cast<FT_UInt>(pixels_)) != 0)
    throw FontError("the font file " + file_ + " has no size " + std::to_string(pixels_));
  const double scale = static_cast<double>(pixels_) / face_->face->units_per_EM;
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face_->face, FT_SFNT_OS2))) {
    ascent_ = static_cast<std::int32_t>(std::lround(os2->usWinAscent * scale));
    height_ = ascent_ + static_cast<std::int32_t>(std::lround(os2->usWinDescent * scale));
    average_ = static_cast<std::int32_t>(std::lround(os2->xAvgCharWidth * scale));
  } else {
    throw FontError("the font file " + file_ + " has no OS/2 metrics");
  }
}

MeasuredFont::~MeasuredFont() = default;

std::string FontFileFor(const FontSpec& spec, const std::string& folder) {
  std::lock_guard<std::mutex> lock(LibraryLock());
  if (folder == kDejaVuFolder)
    return FindFile(DejaVuConfig(), folder, FontFamilyFor(spec.Name), spec.Bold, spec.Italic);
  FcConfig* config = BuildConfig(folder);
  try {
    std::string file = FindFile(config, folder, FontFamilyFor(spec.Name), spec.Bold, spec.Italic);
    if (config) FcConfigDestroy(config);
    return file;
  } catch (...) {
    if (config) FcConfigDestroy(config);
    throw;
  }
}

std::int32_t MeasuredFont::CharWidth(char16_t c) const {
  if (FT_Load_Char(face_->face, c, FT_LOAD_DEFAULT) != 0) return 0;
  return static_cast<std::int32_t>((face_->face->glyph->advance.x + 32) >> 6);
}

std::int32_t MeasuredFont::TextWidth(WideStringView text) const {
  std::int64_t sum = 0;
  for (char16_t c : text) sum += CharWidth(c);
  return static_cast<std::int32_t>(std::min<std::int64_t>(sum, INT32_MAX));
}

}  // namespace pw::ui
