#include "FakeFormViews.h"

#include <algorithm>

#include "ToolConstants.h"

namespace tessik {

using C = FrmMainControl;
using A = frmAboutControl;

// ---- frmAbout --------------------------------------------------------------

void FakefrmAboutView::load()
{
    ++loads;
    controls = {};
    at(A::cmdOK).text = "确定";
    at(A::Label9).colour = TextColour{255, 128, 128};
    // The pictures stand apart until the form stacks them.
    for (int i = 0; i < 5; ++i) move(picIcon(i), 8 + 100 * i, 16 + 3 * i);
}

void FakefrmAboutView::setLinkStyle(frmAboutControl c, bool styled, TextColour colour)
{
    at(c).linkStyled = styled;
    at(c).colour = colour;
}

void FakefrmAboutView::move(frmAboutControl c, int left, int top)
{
    at(c).left = left;
    at(c).top = top;
}

std::vector<int> FakefrmAboutView::visiblePictures() const
{
    std::vector<int> shown;
    for (int i = 0; i < 5; ++i)
        if (at(picIcon(i)).visible) shown.push_back(i);
    return shown;
}

// ---- FrmMain -----------------------------------------------------------------

FakeFrmMainView::FakeFrmMainView(BasicDesktop& desktop) : desktop_(desktop)
{
    at(C::Window).text = kProgramTitle;
    at(C::Window).visible = false;
    at(C::CmbWJ).text = "直径";
    at(C::CmbHd).text = "弯角";
    for (C c : {C::TxtWJ, C::TxtZJS, C::CmbBH, C::TxtWeight}) at(c).text = kBlankText;
    at(C::TxtCZ).text = "7850";
    at(C::VScroll1) = Control{.value = 20, .min = 1, .max = 20};
    at(C::ChkQuit).value = check::kTicked;
    at(C::OptTX_0).value = 1;
    at(C::CmdIquire).visible = false;
    for (C c : {C::OptTX_1, C::OptTX_2, C::OptTX_5, C::OptGc, C::OptWc, C::Frame3}) at(c).enabled = false;
}

void FakeFrmMainView::setText(FrmMainControl c, const std::string& text)
{
    const bool textBox = c == C::TxtWJ || c == C::TxtZJS || c == C::TxtCZ || c == C::TxtWeight;
    if (at(c).text == text) return;
    at(c).text = text;
    at(c).selStart = int(text.size());
    at(c).selLength = 0;
    if (textBox) {
        changes.push_back(controlName(c));
        if (form) form->Change(c);
    }
}

void FakeFrmMainView::setSelection(FrmMainControl c, int start, int length)
{
    at(c).selStart = start;
    at(c).selLength = length;
}

void FakeFrmMainView::addItem(FrmMainControl c, int position, const std::string& item)
{
    auto& items = at(c).items;
    items.insert(items.begin() + std::clamp(position, 0, int(items.size())), item);
}

void FakeFrmMainView::setListIndex(FrmMainControl c, int index)
{
    at(c).listIndex = index;
    at(c).text = index < 0 ? std::string() : at(c).items.at(std::size_t(index));
}

void FakeFrmMainView::setValue(FrmMainControl c, int value)
{
    at(c).value = value;
    // Options of one group exclude each other.
    if (value == 0 || c < C::OptTX_0 || c > C::OptTX_5) return;
    for (int i = 0; i < 6; ++i)
        if (OptTX(i) != c) at(OptTX(i)).value = 0;
}

void FakeFrmMainView::setScrollValue(FrmMainControl c, int value)
{
    value = std::clamp(value, at(c).min, at(c).max);
    if (at(c).value == value) return;
    at(c).value = value;
    changes.push_back(controlName(c));
    if (form) form->Change(c);
}

frmAboutForm& FakeFrmMainView::aboutDialog()
{
    if (!aboutForm)
        aboutForm = std::make_unique<frmAboutForm>(about, desktop_, [this] { setVisible(C::Window, true); });
    return *aboutForm;
}

void FakeFrmMainView::type(FrmMainControl field, const std::u16string& keys)
{
    for (char16_t key : keys) {
        std::int16_t KeyAscii = static_cast<std::int16_t>(key);
        form->KeyPress(field, KeyAscii);
        if (KeyAscii == 0) continue;
        std::string text = at(field).text;
        const auto start = std::size_t(std::min<int>(at(field).selStart, int(text.size())));
        const auto length = std::size_t(at(field).selLength);
        if (KeyAscii == 8) {
            if (length > 0) text.erase(start, length);
            else if (start > 0) text.erase(start - 1, 1);
        } else {
            text.replace(start, length, 1, char(KeyAscii));
        }
        setText(field, text);
    }
}

}  // namespace tessik
