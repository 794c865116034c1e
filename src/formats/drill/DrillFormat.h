// Registration of the drill (TAP) reader (".tap") and layer writer with the
// layout document; both start from DrillSettings().
#pragma once

namespace zandor {

void RegisterDrillFormat();

}  // namespace zandor
