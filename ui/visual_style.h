// Read access to the current visual style through the theme provider, which is
// loaded at run time and may be absent. Every query gives 0 (or a null image)
// when the provider, the function in it or an open theme is missing; 1 says only
// that the provider was asked, not what it answered.
#pragma once

#include <QImage>
#include <QString>

#include "library_loader.h"
#include "theme_api.h"

class QWidget;

class CVisualStyle {
public:
    // Uses the provider beside the program.
    CVisualStyle();
    explicit CVisualStyle(const QString &providerPath);
    ~CVisualStyle();
    CVisualStyle(const CVisualStyle &) = delete;
    CVisualStyle &operator=(const CVisualStyle &) = delete;

    // The provider is loaded only for a version whose value (minor << 16 | major)
    // reaches that of 5.1.
    static bool passesVersionTest(int major, int minor);
    // The resource name a style keeps a bitmap file under.
    static QByteArray bitmapResourceName(const char16_t *fileName);

    bool hasProvider() const { return provider_ != nullptr; }
    bool isOpen() const { return theme_ != nullptr; }

    int open(QWidget *window, const char16_t *classList);
    void close();

    int color(int part, int state, int property, theme::COLORREF *color) const;
    int enumValue(int part, int state, int property, int *value) const;
    int intValue(int part, int state, int property, int *value) const;
    int margins(int part, int state, int property, theme::Margins *margins) const;
    int fileName(int part, int state, int property, char16_t *buffer, int size) const;
    int currentStyleName(char16_t *file, int fileSize, char16_t *colour, int colourSize, char16_t *size,
                         int sizeSize) const;
    QImage loadStyleBitmap(const char16_t *fileName) const;

private:
    template <typename Function>
    Function function(const char *name) const
    {
        return reinterpret_cast<Function>(GetProcAddress(provider_, name));
    }

    HMODULE provider_ = nullptr;
    theme::HSTYLEFILE styleFile_ = nullptr;
    theme::HTHEME theme_ = nullptr;
};
