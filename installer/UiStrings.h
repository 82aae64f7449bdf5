// The window's texts in three languages, chosen by the settings record's language id:
// 1033 English, 1028 traditional Chinese, anything else simplified Chinese.
#pragma once

namespace UiStrings {

constexpr int kMessageRows = 11;
constexpr int kStepRows = 14;

// Row 0-10; the row must exist.
const wchar_t* Message(int row);
// Row 0-13 (the install run's step numbers).
const wchar_t* StepName(int row);

}  // namespace UiStrings
