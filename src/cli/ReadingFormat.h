// The --format option of the commands that read a file: the format to read
// it as, whatever its extension says.
#pragma once

#include <string>

#include "model/Layout.h"

namespace zandor::cli {

// "gerber" gives FileGerber; an empty value leaves the type to the
// extension (FileUnknown).  Returns what is wrong with the value, or "".
std::string ParseReadingFormat(const std::string& value, FileType& type);

}  // namespace zandor::cli
