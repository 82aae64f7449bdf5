// The installer's one view: draws the whole face of the window (background, close box,
// package number, button, status and progress), owns the install engine and the progress
// bar, starts the install and follows it through the window messages.
#pragma once

#include <cstdint>
#include <string>

#include "IClient.h"
#include "TRender.h"
#include "platform/View.h"

class TProcess;

enum InstallState : int32_t {
    kStateReady = 0,
    kStateInstalling = 1,
    kStateFailed = 2,
    kStateDone = 3,
};

class MacInstall : public zplat::View {
public:
    explicit MacInstall(const zplat::ViewRect& frame);
    ~MacInstall() override;

    void ViewWillMoveToWindow(zplat::Window* window) override;
    bool IsFlipped() const override { return true; }
    void MacInitView();
    void ResizeCtrl();
    void ResizeSubviewsWithOldSize(double width, double height) override;

    void DrawRect(zplat::GraphicsContext& context, const zplat::ViewRect& dirty) override;
    void DrawMain(TRender& render);
    void DrawBtn(TRender& render);
    // The percent line while installing, e.g. "57%".
    std::wstring PercentText() const;

    void UpdateTrackingAreas() override;
    void MouseMoved(const zplat::ViewPoint& point) override;
    void MouseDown(const zplat::ViewPoint& point) override;
    // While the installed bundle is being replaced a close would leave none behind.
    bool WindowShouldClose() override;

    void InstallProcess();
    void OnUserMsg(uint32_t msg, int64_t w, int64_t l);

    int32_t m_emstate() const { return _m_emstate; }
    void setM_emstate(int32_t state) { _m_emstate = state; }

    // For the window's tests: what the face is made of.
    const D2D1_RECT_F& CloseRect() const { return m_rcclose; }
    const D2D1_RECT_F& ButtonRect() const { return m_rcBtn; }
    const D2D1_RECT_F& InfoRect() const { return m_rcinfo; }
    const D2D1_RECT_F& TipRect() const { return m_rcTip; }
    const D2D1_RECT_F& CorpNoRect() const { return m_rcCorpNo; }
    bool HoverClose() const { return m_bhoverclose; }
    bool MouseOver() const { return m_bmouseover; }
    const std::wstring& Info() const { return m_info; }
    TProcess* Process() const { return m_process; }
    IClient& Client() { return m_client; }

private:
    D2D1_RECT_F m_rcclose = {};
    D2D1_RECT_F m_rcTip = {};
    D2D1_RECT_F m_rcBtn = {};
    D2D1_RECT_F m_rcCorpNo = {};
    bool m_bhoverclose = false;
    bool m_bmouseover = false;
    int32_t CAPTION_HEIGHT = 25;
    std::wstring m_info;
    D2D1_RECT_F m_rcinfo = {};
    IClient m_client;
    TProcess* m_process = nullptr;
    int32_t _m_emstate = kStateReady;
    int32_t m_nCurStep = -1;  // the step last started, while installing
};
