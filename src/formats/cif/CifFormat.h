// Registration of the CIF reader, writer and layer writer with the layout
// document.
#pragma once

namespace zandor {

void RegisterCifFormat();

}  // namespace zandor
