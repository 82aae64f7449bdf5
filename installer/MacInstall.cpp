#include "MacInstall.h"

#include <cmath>

#include "MacUtil.h"
#include "TProcess.h"
#include "UiStrings.h"
#include "UiTheme.h"
#include "WinCompat.h"
#include "platform/Log.h"
#include "platform/Window.h"
#include "platform/Workspace.h"

namespace {

const UiColor kButtonFill = {165 / 255.0f, 21 / 255.0f, 16 / 255.0f, 1.0f};
const UiColor kButtonHover = {125 / 255.0f, 13 / 255.0f, 7 / 255.0f, 1.0f};
const UiColor kButtonOutline = {217 / 255.0f, 64 / 255.0f, 65 / 255.0f, 1.0f};

constexpr int kStepDeleteInstallFiles = 11;
constexpr int kStepReplaceBundle = 13;

bool InRect(const zplat::ViewPoint& p, const D2D1_RECT_F& r) {
    return p.x >= r.left && p.x <= r.right && p.y >= r.top && p.y <= r.bottom;
}

const wchar_t* StepText(int64_t row) {
    return row >= 0 && row < UiStrings::kStepRows ? UiStrings::StepName(static_cast<int>(row)) : L"";
}

}  // namespace

MacInstall::MacInstall(const zplat::ViewRect& frame) : View(frame) {}

MacInstall::~MacInstall() { delete m_process; }

void MacInstall::ViewWillMoveToWindow(zplat::Window* window) {
    if (!window) return;
    MacInitView();
    m_client.InitOssAccount();
    m_client.InitOssClient();
    MacUtil::MakeDirsForPath(UiTheme::Settings().m_szTempDir.c_str());
}

void MacInstall::MacInitView() {
    CAPTION_HEIGHT = 25;
    m_bhoverclose = false;
    m_bmouseover = false;
    if (!m_process) {
        m_process = new TProcess;
        m_process->SetHidden(true);
        AddSubview(m_process);
    }
    ResizeCtrl();
    // The fonts are process-wide: a second view (or window) reuses them instead of leaking them.
    if (!UiTheme::Fonts().fonts[0]) UiTheme::InitFonts(UiTheme::Fonts());
    UiTheme::InitPalette(UiTheme::Palette());
}

void MacInstall::ResizeCtrl() {
    float w = static_cast<float>(Frame().width), h = static_cast<float>(Frame().height);
    m_rcBtn = {(w - 100) / 2, h - 108, (w - 100) / 2 + 100, h - 108 + 36};
    m_rcCorpNo = {m_rcBtn.left, m_rcBtn.top - 60, m_rcBtn.right, m_rcBtn.bottom - 60};
    m_rcinfo = {w - 468, h - 76, w - 34, h - 56};
    m_rcTip = {181, 96, 381, 123};
    if (m_process) m_process->SetFrame(zplat::ViewRect{34, 260, 434, 15});
}

void MacInstall::ResizeSubviewsWithOldSize(double, double) {}

void MacInstall::DrawRect(zplat::GraphicsContext& context, const zplat::ViewRect&) {
    TRender render(&context);
    ImageHolder* background = nullptr;
    bool plain = _m_emstate == kStateReady || _m_emstate == kStateDone;
    render.LoadPng(plain ? L"tamberlyn_bk.png" : L"tamberlyn_bk1.png", background);
    render.DrawImage(background, 0, 0);
    MacUtil::FreeImage(background);

    const UiPalette& palette = UiTheme::Palette();
    if (_m_emstate != kStateInstalling) {
        int c = CAPTION_HEIGHT;
        float left = static_cast<float>(Frame().x + Frame().width - 2 * c / 3);
        float top = static_cast<float>(Frame().y + c / 3);
        m_rcclose = {left, top, left + c / 3, top + c / 3};
        const UiColor& cross = m_bhoverclose ? palette.colors[1] : palette.colors[0];
        render.DrawLine(nullptr, m_rcclose.left, m_rcclose.top, m_rcclose.right, m_rcclose.bottom, cross, 1);
        render.DrawLine(nullptr, m_rcclose.left, m_rcclose.bottom, m_rcclose.right, m_rcclose.top, cross, 1);
    }
    if (plain) {
        wchar_t number[101];
        WinCompat::MultiByteToWide(UiTheme::Settings().m_szPkgNo.c_str(), number, 101, 936);
        render.DrawText(number, UiTheme::Fonts().fonts[3], 1, 2, m_rcCorpNo, palette.colors[0]);
    }
    DrawMain(render);
}

void MacInstall::DrawMain(TRender& render) {
    const UiPalette& palette = UiTheme::Palette();
    const UiFonts& fonts = UiTheme::Fonts();
    switch (_m_emstate) {
        case kStateReady:
        case kStateDone:
            DrawBtn(render);
            break;
        case kStateFailed:
            render.DrawText(m_info.c_str(), fonts.fonts[1], 2, 1, m_rcinfo, palette.colors[2]);
            break;
        case kStateInstalling: {
            render.DrawText(PercentText().c_str(), fonts.fonts[0], 2, 2, m_rcinfo, palette.colors[2]);
            render.DrawText(m_info.c_str(), fonts.fonts[0], 0, 2, m_rcinfo, palette.colors[2]);
            render.DrawText(UiStrings::Message(10), fonts.fonts[3], 0, 2, m_rcTip, palette.colors[0]);
            break;
        }
        default:
            break;
    }
}

std::wstring MacInstall::PercentText() const {
    wchar_t percent[256];
    // Rounded: the percent went through a division by 100 and must come back whole.
    WinCompat::FormatWideString(percent, 256, L"%d%%", m_process ? static_cast<int>(std::lround(m_process->GetPercent() * 100)) : 0);
    return percent;
}

void MacInstall::DrawBtn(TRender& render) {
    render.DrawRoundRect(m_rcBtn, 5, m_bmouseover ? kButtonHover : kButtonFill, kButtonOutline);
    D2D1_RECT_F caption = m_rcBtn;
    if (!m_bmouseover) {
        caption.top -= 1;
        caption.bottom -= 1;
    }
    const wchar_t* text = UiStrings::Message(_m_emstate == kStateDone ? 7 : 0);
    render.DrawText(text, UiTheme::Fonts().fonts[0], 1, 2, caption, UiTheme::Palette().colors[0]);
}

void MacInstall::UpdateTrackingAreas() {
    RemoveAllTrackingAreas();
    AddTrackingArea(zplat::TrackingArea{Bounds(), 839});
}

void MacInstall::MouseMoved(const zplat::ViewPoint& point) {
    bool close = InRect(point, m_rcclose), over = InRect(point, m_rcBtn);
    bool changed = close != m_bhoverclose || over != m_bmouseover;
    m_bhoverclose = close;
    m_bmouseover = over;
    if (changed) Display();
}

void MacInstall::MouseDown(const zplat::ViewPoint& point) {
    zplat::Window* window = GetWindow();
    if (InRect(point, m_rcclose)) {
        if (window) window->PerformClose();
        return;
    }
    if (!InRect(point, m_rcBtn)) return;
    if (_m_emstate == kStateReady) {
        InstallProcess();
    } else if (_m_emstate == kStateDone) {
        const InstallSettings& s = UiTheme::Settings();
        zplat::OpenApplication(s.m_szAppDir + "/" + s.m_szAppName);
        if (window) window->Close();
    }
}

bool MacInstall::WindowShouldClose() {
    return !(_m_emstate == kStateInstalling &&
             (m_nCurStep == kStepDeleteInstallFiles || m_nCurStep == kStepReplaceBundle));
}

void MacInstall::InstallProcess() {
    _m_emstate = kStateInstalling;
    const InstallSettings& s = UiTheme::Settings();
    MacUtil::RemovePath(s.m_szBackupDir.c_str());
    MacUtil::RemovePath(s.m_szTempDir.c_str());
    m_process->SetHidden(false);
    m_process->SetFrame(zplat::ViewRect{34, 260, 434, 15});
    Display();
    if (!StartInstallThread(&m_client)) zplat::LogLine("cannot start the install thread");
}

void MacInstall::OnUserMsg(uint32_t msg, int64_t, int64_t l) {
    int32_t value = static_cast<int32_t>(l);
    switch (msg) {
        case kMsgProgress:
            m_process->SetCurPos(value);
            _m_emstate = kStateInstalling;
            break;
        case kMsgFinished:
            _m_emstate = kStateDone;
            m_nCurStep = -1;
            m_process->SetHidden(true);
            break;
        case kMsgStepFailed:
            _m_emstate = kStateFailed;
            m_nCurStep = -1;
            m_info = StepText(value);
            m_info += UiStrings::Message(6);
            break;
        case kMsgStepStarted:
            m_nCurStep = value;
            m_info = StepText(value);
            break;
        default:
            return;
    }
    Display();
}
