#pragma once

#include "app/win32/Win32PackageFile.h"
#include "package/FirmwarePackage.h"
#include "package/PackageIdentity.h"

// The firmware package the running executable carries, loaded the same way
// by every front end: the file stays open for the image reads of a run, and
// `identity` says which dock the package is for and whether it loaded. On a
// failure the file is closed and the result's LogLine() tells why.
package::LoadResult LoadOwnPackage(Win32PackageFile& file, package::ImageTable& images,
                                   PackageIdentity& identity);
