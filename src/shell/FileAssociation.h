// Makes CIF and GDSII files open in this editor from the desktop: a .desktop
// entry and shared-mime-info types in the user's data folder, written again
// at every start so that they follow the program when it moves.
#pragma once

#include <QString>

namespace zandor {

void RegisterFileAssociation(const QString& programPath);

}  // namespace zandor
