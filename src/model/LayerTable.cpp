// The layer table operations of a layout and the layer map files that carry a
// table between layouts and from one run to the next.
//
// A layer map is a text file: the header line "# Zandor 3.1 Layer Map", then
// one line per layer, "<index> <name>/<hex>", where the hexadecimal text holds
// in fixed-width chunks the style byte (outline style in the high nibble, fill
// style in the low one, solid fill as F), the fill colour, and optionally the
// outline colour, the datatype, the polarity and the GDSII layer number of a
// layer that does not sit in the slot of its number.  The last chunk comes
// after all the others, so readers that stop at the polarity read such a line
// as before.  A "/" in a name, which would end the name, is written as the
// division slash U+2215 and read back as "/".

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "model/Layout.h"
#include "model/ObjectRecord.h"
#include "model/UndoList.h"
#include "platform/Diagnostics.h"
#include "platform/ReplacingFile.h"

namespace zandor {

namespace {

// Lines are read in pieces of at most these many characters; the rest of a
// longer line is read as a line of its own, as earlier versions did.
constexpr std::size_t kHeaderLineChars = 64;
constexpr std::size_t kLayerLineChars = 63;

constexpr std::string_view kWriteHeader = "# Zandor 3.1 Layer Map";
constexpr std::string_view kNameSlash = "\xE2\x88\x95";  // U+2215 in UTF-8
constexpr std::string_view kSaveFailed = "Unable to save file!";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a file through a fixed buffer in lines of bounded length, so that a
// file of one endless line costs neither memory nor more than one pass.  CR LF
// ends a line like LF does.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}

    // false at the end of the file (or on a read error) with nothing read.
    bool ReadLine(std::string& line, std::size_t maxChars) {
        line.clear();
        bool any = false;
        while (line.size() < maxChars) {
            const int c = Get();
            if (c < 0) break;
            any = true;
            if (c == '\n') break;
            if (c == '\r') {
                const int next = Peek();
                if (next == '\n') {
                    Get();
                    break;
                }
            }
            line.push_back(static_cast<char>(c));
        }
        // Text after a NUL byte is not part of the line, as for any C string.
        const std::size_t nul = line.find('\0');
        if (nul != std::string::npos) line.resize(nul);
        return any;
    }

    bool Failed() const { return failed_; }

private:
    int Peek() {
        if (position_ == filled_ && !Fill()) return -1;
        return static_cast<unsigned char>(buffer_[position_]);
    }
    int Get() {
        const int c = Peek();
        if (c >= 0) ++position_;
        return c;
    }
    bool Fill() {
        if (atEnd_) return false;
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failed_ = n < 0;
                atEnd_ = true;
                return false;
            }
            position_ = 0;
            filled_ = static_cast<std::size_t>(n);
            return true;
        }
    }

    int fd_;
    std::array<char, 65536> buffer_{};
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Opens a regular file for reading.  Anything else (a directory, a pipe that
// would block, a device that never ends) counts as a file that cannot be opened.
int OpenRegularFile(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

// The value of the leading hexadecimal digits of the chunk of width characters
// at position, or nothing when the chunk is absent or starts with another
// character.  A chunk cut short by the end of the line counts as far as it goes.
std::optional<std::uint32_t> HexChunk(std::string_view text, std::size_t position, std::size_t width) {
    if (position >= text.size()) return std::nullopt;
    const std::string_view chunk = text.substr(position, width);
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (char c : chunk) {
        const int d = HexDigitValue(c);
        if (d < 0) break;
        value = (value << 4) | static_cast<std::uint32_t>(d);
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return value;
}

// One layer line; nothing for a line that names no layer.
std::unique_ptr<LayerDescription> ParseLayerLine(std::string_view line) {
    std::size_t p = 0;
    while (p < line.size() && IsBlank(line[p])) ++p;
    if (p == line.size() || !IsDecimalDigit(line[p])) return nullptr;
    int index = 0;
    bool outOfRange = false;
    for (; p < line.size() && IsDecimalDigit(line[p]); ++p) {
        if (!outOfRange) {
            index = index * 10 + (line[p] - '0');
            outOfRange = index >= kLayerCount;
        }
    }
    if (outOfRange) return nullptr;
    while (p < line.size() && IsBlank(line[p])) ++p;

    const std::size_t slash = line.find('/', p);
    std::string_view nameField = line.substr(p, slash == std::string_view::npos ? std::string_view::npos : slash - p);
    while (!nameField.empty() && IsBlank(nameField.back())) nameField.remove_suffix(1);
    if (nameField.empty()) return nullptr;
    std::string name;
    for (std::size_t at = 0; at < nameField.size();) {
        if (nameField.substr(at, kNameSlash.size()) == kNameSlash) {
            name += '/';
            at += kNameSlash.size();
        } else {
            name += nameField[at++];
        }
    }

    std::int64_t fillColor = -1;
    std::int64_t outlineColor = -1;
    int fillStyle = FillSolid;
    int outlineStyle = OutlineSolid;
    std::uint32_t dataType = 0;
    std::uint8_t polarity = 1;
    std::int32_t gdsLayer = -1;
    if (slash != std::string_view::npos) {
        std::size_t at = slash + 1;
        if (auto styles = HexChunk(line, at, 2)) {
            fillStyle = static_cast<int>(*styles & 0xFu);
            outlineStyle = static_cast<int>((*styles >> 4) & 0xFu);
        }
        at += 2;
        if (auto color = HexChunk(line, at, 6)) fillColor = *color;
        at += 6;
        if (auto color = HexChunk(line, at, 6)) outlineColor = *color;
        at += 6;
        if (auto type = HexChunk(line, at, 4)) dataType = *type;
        at += 4;
        if (auto value = HexChunk(line, at, 1)) polarity = *value != 0 ? 1 : 0;
        at += 1;
        if (auto number = HexChunk(line, at, 4); number && static_cast<int>(*number) != index) {
            gdsLayer = static_cast<std::int32_t>(*number);
        }
    }
    // The constructor turns style nibbles without a meaning into solid styles.
    auto layer = std::make_unique<LayerDescription>(index, name, fillColor, outlineColor, fillStyle, outlineStyle,
                                                    dataType, polarity);
    layer->gdsLayer = gdsLayer;
    return layer;
}

bool HasMapHeader(std::string_view line) { return line.substr(0, 8) == "# Zandor" || line.substr(0, 8) == "# Tremol"; }

std::string LayerMapText(const Layout& layout) {
    std::string text(kWriteHeader);
    text += "\r\n";
    for (int i = 0; i < kLayerCount; ++i) {
        const LayerDescription* layer = layout.Layer(i);
        if (!layer) continue;
        // A line feed or NUL inside a name would end the line early and turn the
        // rest of it into another layer.  A lone CR is read back as it is.
        std::string name;
        for (char c : layer->name) {
            if (c == '/')
                name += kNameSlash;
            else
                name += c == '\n' || c == '\0' ? ' ' : c;
        }
        const std::uint32_t fill = layer->fillColor & 0xFFFFFFu;
        const std::uint32_t outline = layer->outlineColor & 0xFFFFFFu;
        // The fields are masked to their chunk widths so that an out-of-range value
        // cannot push the following chunks out of place.
        const unsigned long dataType = layer->dataType & 0xFFFFu;
        const unsigned long polarity = layer->polarity != 0 ? 1 : 0;
        const bool ownNumber = layer->gdsLayer >= 0 && layer->gdsLayer != layer->index;
        char number[16];
        std::snprintf(number, sizeof number, "%d ", layer->index);
        char fields[48];
        if (outline == fill && dataType == 0 && polarity != 0 && !ownNumber) {
            std::snprintf(fields, sizeof fields, "/%08lx\r\n", static_cast<unsigned long>(layer->FillStyleWord()));
        } else if (!ownNumber) {
            std::snprintf(fields, sizeof fields, "/%08lx%06lx%04lx%01lx\r\n",
                          static_cast<unsigned long>(layer->FillStyleWord()), static_cast<unsigned long>(outline),
                          dataType, polarity);
        } else {
            std::snprintf(fields, sizeof fields, "/%08lx%06lx%04lx%01lx%04lx\r\n",
                          static_cast<unsigned long>(layer->FillStyleWord()), static_cast<unsigned long>(outline),
                          dataType, polarity, static_cast<unsigned long>(layer->gdsLayer & 0xFFFF));
        }
        // A line longer than a reader takes would split, and its second part
        // would lose the layer's styles and numbers: a long name is shortened
        // instead, at a character boundary.
        const std::size_t fixed = std::strlen(number) + std::strlen(fields) - 2;
        if (fixed + name.size() > kLayerLineChars) {
            std::size_t keep = kLayerLineChars - fixed;
            // At most three bytes back: a name that is not UTF-8 is cut where
            // it must be.
            for (int back = 0; back < 3 && keep > 1 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80; ++back)
                --keep;
            name.resize(keep);
        }
        text += number;
        text += name;
        text += fields;
    }
    return text;
}

// To the sink, or as a message box when there is none.
void ReportMapError(platform::DiagnosticSink* diagnostics, std::string_view text, std::string_view file) {
    platform::Diagnostic d;
    d.text = text;
    d.file = file;
    if (diagnostics) {
        diagnostics->Report(d);
    } else {
        platform::ShownDiagnostics().Report(d);
    }
}

bool RemapsLayer(const Word* record, int layer) {
    const ObjectKind kind = RecordKind(record);
    return RecordLayer(record) == layer && kind != ObjectKind::SymbolCall && kind != ObjectKind::Group;
}

}  // namespace

void Layout::DeleteLayers() {
    for (auto& layer : layers) layer.reset();
}

bool Layout::RemoveLayer(int index) {
    LayerDescription* layer = Layer(index);
    if (!layer) return false;
    const bool wasCurrent = layer->current != 0 || activeLayer == index;
    layers[static_cast<std::size_t>(index)].reset();
    if (wasCurrent) SelectCurrentLayer(0);
    return true;
}

void Layout::ResetLayers() {
    DeleteLayers();
    SetLayer(std::make_unique<LayerDescription>(0, ""));
}

LayerMapResult ReadLayerMapSlots(const std::string& name, LayerSlots& slots) {
    FileDescriptor file(OpenRegularFile(name));
    if (file.Get() < 0) return LayerMapResult::CannotOpen;
    LineReader reader(file.Get());
    std::string line;
    const bool gotHeader = reader.ReadLine(line, kHeaderLineChars);
    if (reader.Failed()) return LayerMapResult::CannotOpen;
    if (!gotHeader || !HasMapHeader(line)) return LayerMapResult::InvalidHeader;
    for (auto& slot : slots) slot.reset();
    while (reader.ReadLine(line, kLayerLineChars)) {
        if (auto layer = ParseLayerLine(line)) {
            const auto slot = static_cast<std::size_t>(layer->index);
            slots[slot] = std::move(layer);
        }
    }
    return reader.Failed() ? LayerMapResult::CannotOpen : LayerMapResult::Read;
}

bool Layout::ReadLayerMap(const std::string& name, platform::DiagnosticSink* diagnostics) {
    // Built aside, so that a file that cannot be read to its end leaves the
    // table as it was.
    LayerSlots table;
    const LayerMapResult result = ReadLayerMapSlots(name, table);
    if (result == LayerMapResult::InvalidHeader) ReportMapError(diagnostics, "Invalid layer map file.", name);
    if (result != LayerMapResult::Read) return false;
    DeleteLayers();
    for (auto& layer : table) {
        if (layer) SetLayer(std::move(layer));
    }
    return true;
}

bool Layout::WriteLayerMap(const std::string& name, platform::DiagnosticSink* diagnostics) const {
    // Any failure is reported, also a folder that cannot take the file.
    if (!platform::ReplaceFileWith(name, LayerMapText(*this))) {
        ReportMapError(diagnostics, kSaveFailed, name);
        return false;
    }
    return true;
}

void Layout::CopyLayersFrom(const Layout& other) {
    if (&other == this) return;
    DeleteLayers();
    activeLayer = -1;
    for (int i = 0; i < kLayerCount; ++i) {
        const LayerDescription* source = other.Layer(i);
        if (!source) continue;
        LayerDescription* copy = SetLayer(std::make_unique<LayerDescription>(i, *source));
        if (copy && copy->current && activeLayer < 0) activeLayer = i;
    }
}

int Layout::FindLayerByShortName(std::string_view shortName) const {
    for (int i = 0; i < kLayerCount; ++i) {
        if (const LayerDescription* layer = Layer(i); layer && layer->shortName == shortName) return i;
    }
    return -1;
}

int Layout::FindLayerByName(std::string_view layerName) const {
    for (int i = 0; i < kLayerCount; ++i) {
        if (const LayerDescription* layer = Layer(i); layer && layer->name == layerName) return i;
    }
    return -1;
}

int Layout::LowestFreeLayer() const {
    for (int i = 0; i < kLayerCount; ++i) {
        if (!Layer(i)) return i;
    }
    return -1;
}

int Layout::LayerCount() const {
    int count = 0;
    for (const auto& layer : layers) count += layer ? 1 : 0;
    return count;
}

LayerDescription* Layout::NthLayer(int position) const {
    if (position < 0) return nullptr;
    for (const auto& layer : layers) {
        if (layer && position-- == 0) return layer.get();
    }
    return nullptr;
}

void Layout::SelectCurrentLayer(int position) {
    // Every flag is cleared, not only the previous current layer's, so that a
    // table copied with inconsistent flags ends with one current layer.
    for (auto& layer : layers) {
        if (layer) layer->current = 0;
    }
    LayerDescription* layer = NthLayer(position);
    if (layer) layer->current = 1;
    activeLayer = layer ? layer->index : -1;
}

bool Layout::ToggleLayerVisible(int position) {
    LayerDescription* layer = NthLayer(position);
    if (!layer) return false;
    const bool was = layer->visible != 0;
    layer->visible = was ? 0 : 1;
    return was;
}

bool Layout::ToggleLayerLocked(int position) {
    LayerDescription* layer = NthLayer(position);
    if (!layer) return false;
    const bool was = layer->locked != 0;
    layer->locked = was ? 0 : 1;
    return was;
}

void Layout::ShowAllLayers() {
    for (auto& layer : layers) {
        if (layer) layer->visible = 1;
    }
}

void Layout::HideAllLayers() {
    for (auto& layer : layers) {
        if (layer) layer->visible = 0;
    }
}

bool Layout::LayerInUse(int index) const {
    for (const auto& symbol : symbols) {
        for (const Word* r = symbol->FirstRecord(); r; r = symbol->NextRecord(r)) {
            if (RemapsLayer(r, index)) return true;
        }
    }
    return false;
}

bool Layout::ChangeLayerIndex(int oldIndex, int newIndex) {
    if (!Layer(oldIndex) || newIndex < 0 || newIndex >= kLayerCount || Layer(newIndex)) return false;
    for (const auto& symbol : symbols) {
        for (Word* r = symbol->FirstRecord(); r; r = symbol->NextRecord(r)) {
            if (RemapsLayer(r, oldIndex)) {
                SetRecordLayer(r, newIndex);
            }
        }
        symbol->undo->RemapLayer(oldIndex, newIndex);
    }
    auto& moved = layers[static_cast<std::size_t>(newIndex)];
    moved = std::move(layers[static_cast<std::size_t>(oldIndex)]);
    moved->index = newIndex;
    if (activeLayer == oldIndex) activeLayer = newIndex;
    // The selection description names the layer of the current object.
    for (const auto& symbol : symbols) {
        if (symbol->selectedCount > 0) symbol->UpdateSelection();
    }
    // The layer numbers are part of the saved layout even where no object moved.
    modified = true;
    return true;
}

}  // namespace zandor
