// Questions a layout document asks its user: the save-as dialog and the choice
// of the main symbol.  The editor answers them with Qt dialogs; the
// command-line tool and the tests install their own answers.
#pragma once

#include <string>
#include <vector>

#include "model/ModelSettings.h"

namespace zandor {

enum FileType : std::int32_t;

class DocumentDialogs {
public:
    virtual ~DocumentDialogs() = default;
    // The save-as dialog: name, type (1 CIF, 2 GDSII, 3 DXF) and the four
    // options; false when cancelled.
    virtual bool SaveAs(std::string& fileName, FileType& type, SaveOptions& options) = 0;
    // The "Main symbol" dialog: the index of the chosen name, -1 when cancelled.
    virtual int ChooseMainSymbol(const std::vector<std::string>& candidates) = 0;
};

// The installed dialogs; without one, both questions are cancelled.
DocumentDialogs& Dialogs();
DocumentDialogs* SetDocumentDialogs(DocumentDialogs* dialogs);

}  // namespace zandor
