#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>

#include "ui/KeyHelp.h"

namespace {

// The README's key table: keys -> action, the action without its code quotes.
std::map<std::string, std::string> ReadmeKeys()
{
    std::ifstream readme(std::string(ZOLTA_SOURCE_DIR) + "/README.md");
    std::map<std::string, std::string> rows;
    std::string line;
    bool inKeys = false;
    while (std::getline(readme, line)) {
        if (line.rfind("## ", 0) == 0)
            inKeys = line == "## Keys";
        if (!inKeys || line.rfind("| ", 0) != 0 || line == "| Key | Action |")
            continue;
        const size_t middle = line.find(" | ");
        std::string keys = line.substr(2, middle - 2);
        std::string action = line.substr(middle + 3, line.size() - middle - 5);
        action.erase(std::remove(action.begin(), action.end(), '`'), action.end());
        rows[keys] = action;
    }
    return rows;
}

// Each line names keys of the table, and its action is how the table's starts.
void ExpectLinesMatchTheTable(const KeyHelp::Line* lines, size_t count, const std::map<std::string, std::string>& table)
{
    for (size_t i = 0; i < count; i++) {
        const auto row = table.find(lines[i].keys);
        ASSERT_NE(row, table.end()) << "the README has no row for '" << lines[i].keys << "'";
        EXPECT_EQ(row->second.rfind(lines[i].action, 0), 0u)
            << "'" << lines[i].keys << "': the help says '" << lines[i].action << "', the README '" << row->second
            << "'";
    }
}

}  // namespace

TEST(KeyHelpTest, TheTitleScreensListAndTheReadmesTableNameTheSameKeysForTheSameActions)
{
    const std::map<std::string, std::string> table = ReadmeKeys();
    ASSERT_GE(table.size(), 20u) << "the README's key table was not found";
    size_t count = 0;
    const KeyHelp::Line* full = KeyHelp::GetFull(&count);
    ExpectLinesMatchTheTable(full, count, table);
    // Both ways: every row of the table is on the title screen.
    for (const auto& row : table) {
        EXPECT_TRUE(std::any_of(full, full + count, [&](const KeyHelp::Line& l) { return row.first == l.keys; }))
            << "the title screen does not list '" << row.first << "'";
    }
    // What the instrument's title and help used to say wrongly.
    EXPECT_EQ(table.at("Shift+Esc"), "quit");
    EXPECT_EQ(table.count("Esc"), 1u);
    EXPECT_EQ(table.at("Backspace, Delete").rfind("remove the selected source", 0), 0u);
}

TEST(KeyHelpTest, TheOverlaysShortListIsPartOfTheTable)
{
    size_t count = 0;
    const KeyHelp::Line* lines = KeyHelp::GetShort(&count);
    EXPECT_GE(count, 10u);
    ExpectLinesMatchTheTable(lines, count, ReadmeKeys());
}

TEST(KeyHelpTest, LinesLineTheActionsUpInOneColumn)
{
    const KeyHelp::Line lines[] = {{"F5", "toggle full screen"}, {"Shift+Esc", "quit"}};
    const size_t width = KeyHelp::KeyWidth(lines, 2);
    EXPECT_EQ(width, 9u);
    EXPECT_EQ(KeyHelp::Format(lines[0], width), "F5         toggle full screen");
    EXPECT_EQ(KeyHelp::Format(lines[1], width), "Shift+Esc  quit");
}
