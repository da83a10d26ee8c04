// A message box's text wrapped to a screen width, in a font of 7 pixels a character and 14 for an East
// Asian one.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace {

int Width(const std::string& text) {
    int width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) continue;
        width += c >= 0xE3 ? 14 : 7;  // from U+3000 on
    }
    return width;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Squeezed(std::string text) {
    std::string out;
    for (char c : text) {
        if (c != ' ' && c != '\n') out += c;
    }
    return out;
}

// The second-instance box that was 702 pixels wide on a 640-pixel screen, and the archive's reports.
TEST(MessageWrap, EveryLineFitsAndNothingIsLost) {
    const std::string path = "/srv/games/benchmarks/vellacor/build/bin/vellacor06.log";
    const std::string texts[] = {
        "vellacor06 is already running; its log " + path + " is kept. This run ends.",
        "アプリケーション例外が発生しました.\n実行を中止します.\n\n詳細: データエラー(entry CRC). "
        "データが壊れています. "
        "\"/srv/games/benchmarks/vellacor/build/bin/data.tva\"\n\n例外: trivale::EInvalidFileFormat",
        "DirectSound の初期化に失敗しました.\nサウンドなしモードで続行します.",
        std::string(300, 'x'),
        "bad \xE3\x81 bytes \xFF" + std::string(100, 'y'),
    };
    for (const int width : {640 - 110, 200, 100}) {
        for (const std::string& text : texts) {
            const std::string wrapped = plat::WrapMessageText(text, width, Width);
            EXPECT_EQ(Squeezed(wrapped), Squeezed(text)) << width;
            for (const std::string& line : Lines(wrapped)) {
                EXPECT_LE(Width(line), width) << line;
                EXPECT_TRUE(line.empty() || line.back() != ' ') << line;
                for (const char* closing : {".", ")", "。", "ー", "、"})
                    EXPECT_NE(line.rfind(closing, 0), 0u) << "a line starts with " << closing << ": " << line;
            }
        }
    }
}

TEST(MessageWrap, BreaksAtSpacesBetweenWideCharactersAndAfterSlashes) {
    EXPECT_EQ(plat::WrapMessageText("short\n\ntext", 70, Width), "short\n\ntext");
    EXPECT_EQ(plat::WrapMessageText("one two three", 70, Width), "one two\nthree");
    EXPECT_EQ(plat::WrapMessageText("データが壊れています.", 70, Width), "データが壊\nれていま\nす.");
    EXPECT_EQ(plat::WrapMessageText("log /a/bb/ccc/dddd.log kept", 70, Width), "log\n/a/bb/ccc/\ndddd.log\nkept");
    EXPECT_EQ(plat::WrapMessageText("abcdefghijklmnop", 35, Width), "abcde\nfghij\nklmno\np");
}

}  // namespace
