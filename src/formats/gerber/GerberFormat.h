// Registration of the Gerber (RS-274X) layer writer with the layout
// document; it starts from GerberSettings().
#pragma once

namespace zandor {

void RegisterGerberFormat();

}  // namespace zandor
