// The pseudo-URL scheme through which the plug-in and the scripts name game files.
//
// The plug-in only speaks URLs, so every game file gets an address on one fixed pseudo host:
//
//   kPseudoUrlPrefix + package name + kPackagePathMarker + separator(s) + path inside the package
//   kPseudoUrlPrefix + kDiskPackageMarker + kPackagePathMarker + separator + absolute disk path
//
// In a disk path carried inside such a URL, '#' stands for the drive colon ("D#/Game/x.swf").
// The host lives under the reserved ".invalid" top-level domain, so the name can never reach a real
// machine even if some component tried to resolve it. Everything that builds or recognises these
// URLs (file loader, plug-in streams, scripting bridge, script engine) must use these constants.
#pragma once

#include "script/smallstr.h"

// "http://" + pseudo host + "/". Comparisons always use the whole prefix.
inline constexpr char kPseudoUrlPrefix[] = "http://game.invalid/";
inline constexpr int kPseudoUrlPrefixLength = static_cast<int>(sizeof(kPseudoUrlPrefix) - 1);

// Separates the package part of a pseudo URL from the path inside the package.
inline constexpr char kPackagePathMarker[] = "/end_of_story";
inline constexpr int kPackagePathMarkerLength = static_cast<int>(sizeof(kPackagePathMarker) - 1);

// Stands in the package part when the file came from disk.
inline constexpr char kDiskPackageMarker[] = "HDD_ABSOLUTE_PATH";

// Package used when a request names none.
inline constexpr char kDefaultPackageName[] = "data.pak";

// kPseudoUrlPrefix + packageName + kPackagePathMarker + '\\': the folder URL of the package's root,
// the base URL of an entry stored there.
CSmallStr PackageRootUrl(const CSmallStr& packageName);

// True when `text` begins with kPseudoUrlPrefix, after turning backslashes into '/'. Case-sensitive
// unless `ignoreCase`. A null text gives false.
bool StartsWithPseudoUrlPrefix(const char* text, bool ignoreCase);

// Splits `path` into the package it names and the path inside that package.
// When the path (with backslashes read as '/') contains kPseudoUrlPrefix and, after it,
// kPackagePathMarker: *packageName is the text before the marker with every occurrence of the
// prefix removed, and *innerPath the text after the marker without its leading separators ('/'
// form). Otherwise *packageName is `defaultPackage` (kDefaultPackageName when null) and *innerPath
// the path exactly as given. A null path is read as an empty one. Either output may be null.
void SplitPseudoUrl(const char* path, const char* defaultPackage, CSmallStr* packageName,
                    CSmallStr* innerPath);

// Resolves `relative` against the folder URL or folder path `base` (which must end with a
// separator when it names a folder; nothing is inserted between the two).
// A `relative` that already begins with kPseudoUrlPrefix is returned unchanged. Otherwise the
// result is base + the inner path of `relative`, with '/' separators and "x/../" segments collapsed
// the way URLs do; a leading "../" that has nothing left to climb stays in the text. The collapse
// is a text operation: it does not make the result safe to open (the file loader checks that
// itself). Null arguments are read as empty strings.
CSmallStr ResolveRelativePath(const char* relative, const char* base);
