#include "frmAboutDesign.h"

#include "ToolConstants.h"
#include "frmAboutForm.h"

namespace tessik {

std::string designText(frmAboutControl control)
{
    using C = frmAboutControl;
    const std::string title = kProgramTitle;
    switch (control) {
    case C::Label1: return "© 2006–2026 " + title + " 开发组";
    case C::lblDescription:
        return title + " 是分节（虾米腰）弯头的设计工具：按标准推荐弯曲半径和中节数，"
                       "计算弯头重量，并把主视图、左视图或右视图画进 CAD 图形。";
    case C::Label9: return "自由软件：GNU GPL v3+，无任何担保。";
    case C::Label5: return "献给管工们";
    case C::Label4: return "问题与建议，请写电子邮件：";
    case C::Label3: return "欢迎反馈";
    case C::Label2: return std::string("Email:") + frmAboutForm::kContactAddress;
    case C::Label6: return "始于2006-3-8";
    case C::Label7: return "https://tessik.example.org/";
    case C::Label8: return "https://example.org/tessik/";
    case C::lblDisclaimer: return "截直成弯节节连，一纸图样到眼前。";
    case C::cmdOK: return "确定";
    case C::cmdSysInfo: return "系统信息(&S)...";
    default: return {};
    }
}

}  // namespace tessik
