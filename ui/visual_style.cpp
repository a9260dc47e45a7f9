#include "visual_style.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace theme;

namespace {

constexpr int kMinimumVersionValue = 65541;
constexpr int kMinorVersionShift = 16;

QString providerBesideProgram()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(kProviderFileName));
}

} // namespace

CVisualStyle::CVisualStyle() : CVisualStyle(providerBesideProgram()) {}

CVisualStyle::CVisualStyle(const QString &providerPath)
{
    HMODULE provider = LoadLibrary(QFile::encodeName(providerPath).constData());
    const auto version = reinterpret_cast<GetProviderVersionFn>(GetProcAddress(provider, "GetProviderVersion"));
    int major = 0;
    int minor = 0;
    if (version)
        version(&major, &minor);
    if (version && passesVersionTest(major, minor)) {
        provider_ = provider;
        return;
    }
    if (provider)
        FreeLibrary(provider);
}

CVisualStyle::~CVisualStyle()
{
    close();
    if (provider_)
        FreeLibrary(provider_);
}

bool CVisualStyle::passesVersionTest(int major, int minor)
{
    return (static_cast<int64_t>(minor) << kMinorVersionShift) + major >= kMinimumVersionValue;
}

QByteArray CVisualStyle::bitmapResourceName(const char16_t *fileName)
{
    QByteArray name = QString::fromUtf16(fileName).toLocal8Bit();
    name.replace('\\', '_');
    name.replace('.', '_');
    return name;
}

int CVisualStyle::open(QWidget *window, const char16_t *classList)
{
    if (!provider_ || !window || theme_)
        return 0;
    const auto isActive = function<IsThemeActiveFn>("IsThemeActive");
    const auto openData = function<OpenThemeDataFn>("OpenThemeData");
    if (!isActive || !openData || !isActive())
        return 0;
    theme_ = openData(window, classList);
    if (!theme_)
        return 0;

    const auto loadFile = function<LoadStyleFileFn>("LoadStyleFile");
    char16_t file[kMaxPath] = {};
    char16_t colour[kMaxPath] = {};
    char16_t size[kMaxPath] = {};
    if (loadFile && currentStyleName(file, kMaxPath, colour, kMaxPath, size, kMaxPath))
        styleFile_ = loadFile(file);
    if (styleFile_)
        return 1;
    close();
    return 0;
}

void CVisualStyle::close()
{
    if (theme_) {
        if (const auto closeData = function<CloseThemeDataFn>("CloseThemeData"))
            closeData(theme_);
        theme_ = nullptr;
    }
    if (styleFile_) {
        if (const auto freeFile = function<FreeStyleFileFn>("FreeStyleFile"))
            freeFile(styleFile_);
        styleFile_ = nullptr;
    }
}

int CVisualStyle::color(int part, int state, int property, COLORREF *color) const
{
    const auto get = theme_ ? function<GetThemeColorFn>("GetThemeColor") : nullptr;
    if (!get)
        return 0;
    get(theme_, part, state, property, color);
    return 1;
}

int CVisualStyle::enumValue(int part, int state, int property, int *value) const
{
    const auto get = theme_ ? function<GetThemeEnumValueFn>("GetThemeEnumValue") : nullptr;
    if (!get)
        return 0;
    get(theme_, part, state, property, value);
    return 1;
}

int CVisualStyle::intValue(int part, int state, int property, int *value) const
{
    const auto get = theme_ ? function<GetThemeIntFn>("GetThemeInt") : nullptr;
    if (!get)
        return 0;
    get(theme_, part, state, property, value);
    return 1;
}

int CVisualStyle::margins(int part, int state, int property, Margins *margins) const
{
    const auto get = theme_ ? function<GetThemeMarginsFn>("GetThemeMargins") : nullptr;
    if (!get)
        return 0;
    get(theme_, nullptr, part, state, property, nullptr, margins);
    return 1;
}

int CVisualStyle::fileName(int part, int state, int property, char16_t *buffer, int size) const
{
    const auto get = theme_ ? function<GetThemeFilenameFn>("GetThemeFilename") : nullptr;
    if (!get)
        return 0;
    get(theme_, part, state, property, buffer, size);
    return 1;
}

int CVisualStyle::currentStyleName(char16_t *file, int fileSize, char16_t *colour, int colourSize, char16_t *size,
                                   int sizeSize) const
{
    const auto get = provider_ ? function<GetCurrentThemeNameFn>("GetCurrentThemeName") : nullptr;
    if (!get)
        return 0;
    get(file, fileSize, colour, colourSize, size, sizeSize);
    return 1;
}

QImage CVisualStyle::loadStyleBitmap(const char16_t *fileName) const
{
    const auto load = styleFile_ ? function<LoadStyleBitmapFn>("LoadStyleBitmap") : nullptr;
    QImage image;
    if (load && fileName)
        load(styleFile_, bitmapResourceName(fileName).constData(), &image);
    return image;
}
