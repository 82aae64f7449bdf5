#include "TProcess.h"

#include "TRender.h"
#include "UiTheme.h"

namespace {
const UiColor kTrackOutline = {226 / 255.0f, 226 / 255.0f, 226 / 255.0f, 1.0f};
const UiColor kFill = {252 / 255.0f, 115 / 255.0f, 115 / 255.0f, 1.0f};
}  // namespace

TProcess::TProcess() = default;

double TProcess::GetPercent() const { return m_nPrecent / 100.0; }

void TProcess::SetCurPos(int percent) {
    m_nPrecent = percent;
    Display();
}

void TProcess::DrawRect(zplat::GraphicsContext& context, const zplat::ViewRect&) {
    TRender render(&context);
    zplat::ViewRect b = Bounds();
    D2D1_RECT_F track = {static_cast<float>(b.x), static_cast<float>(b.y), static_cast<float>(b.x + b.width),
                         static_cast<float>(b.y + b.height)};
    render.DrawRoundRect(track, 10, UiTheme::Palette().colors[0], kTrackOutline);
    if (m_nPrecent >= 1 && m_nPrecent <= 100) DrawProcess(render, track);
}

void TProcess::DrawProcess(TRender& render, const D2D1_RECT_F& rc) {
    D2D1_RECT_F inner = {rc.left + 3, rc.top + 3, rc.right - 3, rc.bottom - 3};
    float x = static_cast<int>(inner.left + m_nPrecent * (inner.right - inner.left) / 100);
    render.DrawRoundRect(D2D1_RECT_F{inner.left, inner.top, x, inner.bottom}, 3, kFill, kFill);
    // The rounded end only belongs at the far right; square it off before that.
    if (x < inner.right) render.FillRect(D2D1_RECT_F{x - 4, inner.top, x, inner.bottom}, kFill);
}
