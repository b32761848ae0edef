#pragma once
// What kind of status text the engine shows: most say something new (a stage,
// a result, a message); some only count progress ("下载更新中...   1.50M/60.01M",
// "正在下载更新文件...  5/30") and change with every block.
#include <string>
#include <string_view>

namespace fl {

// The words before the figures of a counting text; empty when the text does
// not end in "N/M" figures (with units such as B, KB or M).
std::string CounterStem(std::string_view text);
// A counting text whose two figures are the same: the count is complete.
bool CounterComplete(std::string_view text);
// Columns a text takes on a terminal: East Asian wide characters take two.
int DisplayWidth(std::string_view utf8);
// The longest start of the text that takes at most `columns` (characters kept whole).
std::string CutToWidth(std::string_view utf8, int columns);

}  // namespace fl
