// Registration of the Mann reader (".man", ".dwm") and layer writer with the
// layout document; both start from FlashSettings().mann.
#pragma once

namespace zandor {

void RegisterMannFormat();

}  // namespace zandor
