// Registration of the Gerber (RS-274X) layer writer and of the reader
// (".gbr") with the layout document; both start from GerberSettings().
#pragma once

namespace zandor {

void RegisterGerberFormat();

}  // namespace zandor
