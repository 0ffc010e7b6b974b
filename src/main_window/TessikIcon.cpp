#include "TessikIcon.h"

namespace tessik {
namespace {

// A mitred elbow of two end and two middle segments, 32 x 32, 7 colours.
static const char* const tessik_xpm[] = {
"32 32 7 1",
"  c None",
"# c #102040",
"a c #2F5F8F",
"b c #4F7FAF",
"c c #7FA7CF",
"d c #BFD7EF",
"e c #FFFFFF",
"                                ",
"                                ",
"   ########                     ",
"   #aaaa##a#                    ",
"   #aaaa##aa##                  ",
"   #aaaa##aaaa##                ",
"   #aaaa##aaaaaa##              ",
"   #bbb##aaaaaaaaa#             ",
"   #ccb##bbbaaaaaaa##           ",
"   #ccc##cbbbbaaaaaaa##         ",
"   #ddd##cccbbbaaaaaa##         ",
"   #ee##dddcccbbbaaa##a#        ",
"   #ee##eedddccbbba##aa#        ",
"   #dd##eeeeddcccb##aaaa#       ",
"   #cc##ddeeeeddc##baaaaa#      ",
"   #b##ccdddeeed##cbbaaaa#      ",
"   ####bcccddee##dcbbaaaaa#     ",
"       #bbccdd##edccbbaaaa#     ",
"        ##bcc##eeedccbbaaaa#    ",
"          ####ddeeddcbbaaaa#    ",
"            #ccddeedccbbaaaa#   ",
"            #bccdeeddcbbaaaaa#  ",
"             #bcddeedccba#####  ",
"             #bccdeed#########  ",
"              #bc########aaaa#  ",
"               ######dcbbaaaa#  ",
"               ##cdeedccbaaaa#  ",
"               #bcdeedccbaaaa#  ",
"               ###############  ",
"                                ",
"                                ",
"                                "
};

}  // namespace

QIcon tessikIcon() { return QIcon(QPixmap(tessik_xpm)); }

}  // namespace tessik
