#include "model/FileFormats.h"

#include <map>

#include "model/DocumentDialogs.h"
#include "model/Layout.h"

namespace zandor {

namespace {

std::map<FileType, LayoutReader>& Readers() {
    static std::map<FileType, LayoutReader> readers;
    return readers;
}
std::map<FileType, LayoutWriter>& Writers() {
    static std::map<FileType, LayoutWriter> writers;
    return writers;
}
std::map<ExportType, LayerWriter>& LayerWriters() {
    static std::map<ExportType, LayerWriter> writers;
    return writers;
}

class CancellingDialogs : public DocumentDialogs {
public:
    bool SaveAs(std::string&, FileType&, SaveOptions&) override { return false; }
    int ChooseMainSymbol(const std::vector<std::string>&) override { return -1; }
};

DocumentDialogs* installedDialogs = nullptr;

}  // namespace

void RegisterReader(FileType type, LayoutReader reader) { Readers()[type] = std::move(reader); }
void RegisterWriter(FileType type, LayoutWriter writer) { Writers()[type] = std::move(writer); }
void RegisterLayerWriter(ExportType type, LayerWriter writer) { LayerWriters()[type] = std::move(writer); }

const LayoutReader* FindReader(FileType type) {
    auto it = Readers().find(type);
    return it == Readers().end() ? nullptr : &it->second;
}
const LayoutWriter* FindWriter(FileType type) {
    auto it = Writers().find(type);
    return it == Writers().end() ? nullptr : &it->second;
}
const LayerWriter* FindLayerWriter(ExportType type) {
    auto it = LayerWriters().find(type);
    return it == LayerWriters().end() ? nullptr : &it->second;
}

DocumentDialogs& Dialogs() {
    static CancellingDialogs cancelling;
    return installedDialogs ? *installedDialogs : cancelling;
}

DocumentDialogs* SetDocumentDialogs(DocumentDialogs* dialogs) {
    DocumentDialogs* previous = installedDialogs;
    installedDialogs = dialogs;
    return previous;
}

}  // namespace zandor
