// Registration of the GDSII reader and writer with the layout document.
#pragma once

namespace zandor {

void RegisterGdsFormat();

}  // namespace zandor
