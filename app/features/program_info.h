// The program's name, version and the vendor's web pages.
#pragma once

namespace tarvolin {

inline constexpr char kApplicationName[] = "Tarvolin";
inline constexpr char kProgramVersionText[] = "3.44";
inline constexpr double kProgramVersion = 3.44;

// Until the project has a home page, a reserved name that reaches nobody.
inline constexpr char kVendorSite[] = "http://tarvolin.example.org";
inline constexpr char kSupportPage[] = "/support.htm";
inline constexpr char kNewsPage[] = "/news.htm";
inline constexpr char kVersionPath[] = "/ver";
inline constexpr char kNoAdapterHelpPage[] = "/can-not-find-any-adapter-on-vista-computer.htm";

}
