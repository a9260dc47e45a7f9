// The function set of the theme provider, a small library that the program
// loads at run time to read the current visual style. The provider answers
// from the running Qt style; without it the controls draw their classic look.
#pragma once

#include <cstdint>

#define THEME_API extern "C" __attribute__((visibility("default")))

namespace theme {

using HTHEME = void *;
using HSTYLEFILE = void *;
using COLORREF = uint32_t; // 0xAARRGGBB, as QRgb

struct Margins {
    int left;
    int right;
    int top;
    int bottom;
};

constexpr char kProviderFileName[] = "libtarvolin_theme.so";
constexpr int kMaxPath = 260;

// Window class, parts and properties the provider knows.
constexpr char16_t kSpinClass[] = u"SPIN";
constexpr int kSpinRightArrowPart = 3;
constexpr int kSpinLeftArrowPart = 4;

constexpr int kPropImageCount = 2401;
constexpr int kPropImageFile = 3002;
constexpr int kPropGlyphImageFile = 3008;
constexpr int kPropSizingMargins = 3601;
constexpr int kPropGlyphTextColor = 3819;
constexpr int kPropGlyphTransparentColor = 3820;
constexpr int kPropBackgroundType = 4001;
constexpr int kPropImageLayout = 4011;
constexpr int kPropGlyphType = 4026;

constexpr int kBackgroundImageFile = 0;
constexpr int kLayoutVertical = 0;
constexpr int kLayoutHorizontal = 1;
constexpr int kGlyphImage = 1;
constexpr int kGlyphFont = 2;

// Exported names and their signatures. The Get* functions return 0 on success.
using GetProviderVersionFn = void (*)(int *major, int *minor);
using IsThemeActiveFn = int (*)();
using OpenThemeDataFn = HTHEME (*)(void *window, const char16_t *classList);
using CloseThemeDataFn = int (*)(HTHEME theme);
using GetThemeColorFn = int (*)(HTHEME theme, int part, int state, int property, COLORREF *color);
using GetThemeEnumValueFn = int (*)(HTHEME theme, int part, int state, int property, int *value);
using GetThemeIntFn = int (*)(HTHEME theme, int part, int state, int property, int *value);
using GetThemeMarginsFn = int (*)(HTHEME theme, void *deviceContext, int part, int state, int property,
                                  const void *rect, Margins *margins);
using GetThemeFilenameFn = int (*)(HTHEME theme, int part, int state, int property, char16_t *buffer, int size);
using GetCurrentThemeNameFn = int (*)(char16_t *file, int fileSize, char16_t *colour, int colourSize,
                                      char16_t *size, int sizeSize);
using LoadStyleFileFn = HSTYLEFILE (*)(const char16_t *fileName);
using FreeStyleFileFn = void (*)(HSTYLEFILE file);
// Fills `image` (a QImage *) and returns non-zero when the style file holds the bitmap.
using LoadStyleBitmapFn = int (*)(HSTYLEFILE file, const char *resourceName, void *image);

} // namespace theme
