#include "formats/flash/FlashOptions.h"

namespace zandor {

namespace {

FlashOptionDialogs* installedDialogs = nullptr;

// The six lengths of a system, in mm or inch.
struct MannPreset {
    double minCoordinate, maxCoordinate, resolution, minFlash, maxFlash, flashResolution;
};

MannPreset PresetOf(bool singleQuadrant, bool metric) {
    if (singleQuadrant) {
        return metric ? MannPreset{0, 100, 0.005, 0.005, 3, 0.005} : MannPreset{0, 4, 0.00025, 0.00025, 0.12, 0.00025};
    }
    return metric ? MannPreset{-75, 75, 0.0001, 0.002, 1.5, 0.0005}
                  : MannPreset{-3, 3, 0.000005, 0.0001, 0.075, 0.000025};
}

}  // namespace

void ApplyMannSystem(MannOptions& options, bool singleQuadrant, bool metric) {
    const MannPreset p = PresetOf(singleQuadrant, metric);
    options.singleQuadrant = singleQuadrant;
    options.metric = metric;
    options.minCoordinate = p.minCoordinate;
    options.maxCoordinate = p.maxCoordinate;
    options.resolution = p.resolution;
    options.minFlash = p.minFlash;
    options.maxFlash = p.maxFlash;
    options.flashResolution = p.flashResolution;
}

void PrepareMannOptionsForReading(MannOptions& options, MannDialect dialect) {
    const bool singleQuadrant = dialect == MannDialect::SingleQuadrant;
    const bool metric = dialect != MannDialect::FourQuadrantEnglish;
    if (options.singleQuadrant != singleQuadrant) {
        ApplyMannSystem(options, singleQuadrant, metric);
        options.angleResolution = 0.1;
    } else if (!singleQuadrant) {
        options.metric = metric;
    }
}

void SwitchEmkUnits(EmkOptions& options, bool mils) {
    if (options.mils == mils) return;
    const double factor = mils ? 0.039370078740157482516 : 25.4;
    options.unit *= factor;
    options.minFlash *= factor;
    options.maxFlash *= factor;
    options.mils = mils;
}

FlashOptionDialogs* SetFlashOptionDialogs(FlashOptionDialogs* dialogs) {
    FlashOptionDialogs* previous = installedDialogs;
    installedDialogs = dialogs;
    return previous;
}

bool AskMannOptions(MannOptions& options, FlashDialogUse use) {
    return installedDialogs ? installedDialogs->Mann(options, use) : true;
}

bool AskEmkOptions(EmkOptions& options, FlashDialogUse use) {
    return installedDialogs ? installedDialogs->Emk(options, use) : true;
}

FlashOptionSettings& FlashSettings() {
    static FlashOptionSettings settings;
    return settings;
}

}  // namespace zandor
