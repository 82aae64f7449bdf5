// The installer's progress bar: a rounded track and the filled share of it.
#pragma once

#include <cstdint>

#include "platform/View.h"

class TRender;
struct D2D1_RECT_F;

class TProcess : public zplat::View {
public:
    TProcess();

    double GetPercent() const;
    int32_t Percent() const { return m_nPrecent; }
    // Stores the percent and redraws.
    void SetCurPos(int percent);

    void DrawRect(zplat::GraphicsContext& context, const zplat::ViewRect& dirty) override;
    void DrawProcess(TRender& render, const D2D1_RECT_F& rc);

private:
    int32_t m_nPrecent = 0;
};
