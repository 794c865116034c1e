// The formats `--format NAME` chooses for reading a file (info, convert) whose
// extension does not name its format, as drill files of PCB tools (.drl,
// .xln, .txt, .nc, ...) often do.
#pragma once

#include <string>

#include "model/Layout.h"

namespace zandor::cli {

// The file type a name stands for; FileUnknown when it names none.
FileType ReadingFormat(const std::string& name);
// The names known, for messages: "gerber, tap".
std::string ReadingFormatNames();

}  // namespace zandor::cli
