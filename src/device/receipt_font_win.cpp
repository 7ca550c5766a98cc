// The receipt font on Windows: Liberation Mono where it is installed (the face the picture
// is laid out in everywhere), else the face GDI picks for Courier New, else a fixed-pitch
// modern face, handed to the renderer as the font file's bytes.
#include "device/receipt_font.h"

#include <windows.h>

namespace fp {

namespace {

// The whole font file of the face selected in aDc, or nothing when GDI has no file for it
// (a bitmap font) or it is not fixed-pitch.
std::optional<kReceiptFontFile> SelectedFontFile(HDC aDc) {
  TEXTMETRICW metrics{};
  // TMPF_FIXED_PITCH set means a variable pitch: the name says the opposite.
  if (!::GetTextMetricsW(aDc, &metrics) || (metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) != 0) return std::nullopt;
  // A face inside a collection comes as the whole collection, read as its first face.
  constexpr DWORD kCollection = 0x66637474;  // "ttcf"
  DWORD table = kCollection;
  DWORD size = ::GetFontData(aDc, table, 0, nullptr, 0);
  if (size == GDI_ERROR) {
    table = 0;
    size = ::GetFontData(aDc, table, 0, nullptr, 0);
  }
  if (size == GDI_ERROR || size == 0) return std::nullopt;
  kReceiptFontFile file;
  wchar_t name[LF_FACESIZE] = {};
  const int length = ::GetTextFaceW(aDc, LF_FACESIZE, name);
  for (int i = 0; i + 1 < length; ++i) file.fFamily += name[i] < 0x80 ? static_cast<char>(name[i]) : '?';
  file.fData.resize(size);
  if (::GetFontData(aDc, table, 0, file.fData.data(), size) != size) return std::nullopt;
  return file;
}

}  // namespace

std::optional<kReceiptFontFile> FindFixedWidthFont() {
  HDC dc = ::CreateCompatibleDC(nullptr);
  if (dc == nullptr) return std::nullopt;
  std::optional<kReceiptFontFile> found;
  for (const wchar_t* face : {L"Liberation Mono", L"Courier New", L""}) {
    HFONT font = ::CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_ONLY_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, face);
    if (font == nullptr) continue;
    HGDIOBJ old = ::SelectObject(dc, font);
    found = SelectedFontFile(dc);
    // GDI answers a missing face with another one: Liberation Mono only by its own name.
    if (found && face[0] == L'L' && found->fFamily != "Liberation Mono") found.reset();
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    if (found) break;
  }
  ::DeleteDC(dc);
  return found;
}

}  // namespace fp
