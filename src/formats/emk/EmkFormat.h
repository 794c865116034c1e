// Registration of the EMK reader (".emk") and layer writer with the layout
// document; both start from FlashSettings().emk.
#pragma once

namespace zandor {

void RegisterEmkFormat();

}  // namespace zandor
