#pragma once
// The look every window of the program shares: the user-interface font, a
// 9-point Chinese sans face, as the windows' layouts were drawn for. Its
// blank is narrower than half a Chinese character, so captions that line up
// with blanks ("外    径" over "曲率半径") come out a little shorter; every
// caption fits its box. Qt's own texts (context menus, standard buttons,
// file dialogs) speak Chinese too, from Qt's translation, as the program's
// own texts do.

class QApplication;

namespace tessik {

void applyTessikLook(QApplication& app);

}  // namespace tessik
