// The composing step of the X11 key layer, in process, against the real
// compose tables of the system (libX11's, read by libxkbcommon): keysym
// sequences and what each press delivers; the locale's table, the default
// one, a user's own compose file, and no table at all.
#include "survey_entry/console/window/key_compose.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace console {
namespace {

// One press: its keysym and how the X11 layer sees it.
struct Press {
  std::uint32_t sym;
  bool ctrl_or_alt = false;  // Ctrl or Alt down in the event
  bool combination = false;  // the key table takes it as an Alt or Ctrl combination (AltGr too)
};

Press plain(std::uint32_t sym) { return Press{sym}; }
Press with_ctrl(std::uint32_t sym) { return Press{sym, true, true}; }
Press with_altgr(std::uint32_t sym) { return Press{sym, false, true}; }

// The key a keysym gives by itself, as the X11 layer's keysym table does for
// the keysyms used here.
std::optional<Key> alone_of(std::uint32_t sym) {
  switch (sym) {
    case XKB_KEY_Return: return Key::byte(13);
    case XKB_KEY_BackSpace: return Key::byte(8);
    case XKB_KEY_Tab: return Key::byte(9);
    case XKB_KEY_Escape: return Key::byte(27);
    case XKB_KEY_F1: return Key::of(NamedKey::f1);
    case XKB_KEY_Left: return Key::of(NamedKey::left);
    case XKB_KEY_Pause: return Key::of(NamedKey::pause);
    case XKB_KEY_Break: return Key::of(NamedKey::break_key);
    case XKB_KEY_Scroll_Lock: return Key::of(NamedKey::scroll_lock);
    case XKB_KEY_Shift_L: return Key::of(NamedKey::left_shift);
    case XKB_KEY_Control_L: return Key::of(NamedKey::left_ctrl);
    case XKB_KEY_ISO_Level3_Shift: return Key::of(NamedKey::right_alt);
    default: break;
  }
  if ((sym >= 0x20 && sym <= 0x7E) || (sym >= 0xA0 && sym <= 0xFF)) {
    return Key::byte(static_cast<std::uint8_t>(sym));
  }
  return std::nullopt;
}

// What a press delivered, written short: "61" a byte, "n3" named key 3,
// "-" a press without key, "" nothing.
std::string shown(const ComposedPress& p) {
  char text[8];
  switch (p.kind) {
    case ComposedPress::Kind::nothing:
      return "";
    case ComposedPress::Kind::without_key:
      return "-";
    case ComposedPress::Kind::key:
      if (p.key.is_named()) {
        std::snprintf(text, sizeof text, "n%u", static_cast<unsigned>(p.key.named));
      } else {
        std::snprintf(text, sizeof text, "%02x", p.key.character);
      }
      return text;
  }
  return "?";
}

std::string named(NamedKey k) { return "n" + std::to_string(static_cast<unsigned>(k)); }

// Feeds the presses and joins what each delivered with commas.
std::string feed(KeyComposer& composer, std::initializer_list<Press> presses) {
  std::string out;
  bool first = true;
  for (const Press& p : presses) {
    if (!first) out += ',';
    first = false;
    out += shown(composer.press(p.sym, alone_of(p.sym), p.ctrl_or_alt, p.combination));
  }
  return out;
}

class KeyComposeTest : public ::testing::Test {
 protected:
  // No compose file of the user running the test: HOME an empty folder.
  void SetUp() override {
    home_ = std::filesystem::temp_directory_path() /
            ("key_compose_test." + std::to_string(getpid()));
    std::filesystem::create_directories(home_);
    saved_home_ = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", home_.c_str(), 1);
    unsetenv("XCOMPOSEFILE");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XLOCALEDIR");
  }
  void TearDown() override {
    setenv("HOME", saved_home_.c_str(), 1);
    unsetenv("XCOMPOSEFILE");
    unsetenv("XLOCALEDIR");
    std::filesystem::remove_all(home_);
  }

  std::filesystem::path home_;
  std::string saved_home_;
};

using namespace std::string_literals;

TEST_F(KeyComposeTest, DeadKeysGiveTheAccentedLettersAsOneByte) {
  KeyComposer composer("C");
  ASSERT_TRUE(composer.has_table());
  EXPECT_FALSE(composer.fell_back());
  struct Case {
    std::uint32_t dead, letter;
    const char* want;
  };
  const std::vector<Case> cases = {
      {XKB_KEY_dead_tilde, 'a', "e3"},      {XKB_KEY_dead_acute, 'a', "e1"},
      {XKB_KEY_dead_grave, 'a', "e0"},      {XKB_KEY_dead_circumflex, 'a', "e2"},
      {XKB_KEY_dead_acute, 'e', "e9"},      {XKB_KEY_dead_circumflex, 'e', "ea"},
      {XKB_KEY_dead_acute, 'i', "ed"},      {XKB_KEY_dead_acute, 'o', "f3"},
      {XKB_KEY_dead_circumflex, 'o', "f4"}, {XKB_KEY_dead_tilde, 'o', "f5"},
      {XKB_KEY_dead_acute, 'u', "fa"},      {XKB_KEY_dead_diaeresis, 'u', "fc"},
      {XKB_KEY_dead_cedilla, 'c', "e7"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(feed(composer, {plain(c.dead), plain(c.letter)}), "-,"s + c.want) << c.want;
    EXPECT_FALSE(composer.pending());
    // The capital: Shift pressed between the dead key and the letter.
    const std::uint32_t capital = c.letter - 'a' + 'A';
    char want_capital[3];
    std::snprintf(want_capital, sizeof want_capital, "%02x",
                  static_cast<unsigned>(std::stoul(c.want, nullptr, 16) - 0x20));
    EXPECT_EQ(feed(composer, {plain(c.dead), plain(XKB_KEY_Shift_L), plain(capital)}),
              "-," + named(NamedKey::left_shift) + "," + want_capital)
        << want_capital;
  }
}

TEST_F(KeyComposeTest, WhatADeadKeyGivesWithSpaceAndWithKeysItDoesNotComposeWith) {
  KeyComposer composer("C");
  ASSERT_TRUE(composer.has_table());
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_tilde), plain(' ')}), "-,7e");
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), plain(' ')}), "-,27");  // the apostrophe
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_circumflex), plain(' ')}), "-,5e");
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_grave), plain(' ')}), "-,60");
  // A letter the table has no sequence for: the table cancels, nothing is
  // delivered, and the next letter is plain.
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), plain('b'), plain('e')}), "-,-,65");
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_tilde), plain('x'), plain('a')}), "-,-,61");
  // A sequence whose character is not one byte (o with tilde and acute).
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), plain(XKB_KEY_dead_tilde), plain('o'),
                            plain('o')}),
            "-,-,-,6f");
  // Held dead key: the X11 layer drops its repeats; a second press of the
  // same dead key is what the table says (the accent alone).
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), plain(XKB_KEY_dead_acute)}), "-,b4");
}

TEST_F(KeyComposeTest, KeysOutsideSequencesAreTheirOwnAndAPendingOneIsCancelledNotSwallowing) {
  KeyComposer composer("C");
  ASSERT_TRUE(composer.has_table());
  EXPECT_EQ(feed(composer, {plain('a'), plain(0xE7), plain('~'), plain(XKB_KEY_EuroSign)}),
            "61,e7,7e,");
  // Enter, Backspace, Tab, Esc and named keys after a dead key: delivered,
  // and the dead key is gone.
  for (std::uint32_t sym : {XKB_KEY_Return, XKB_KEY_BackSpace, XKB_KEY_Tab, XKB_KEY_Escape,
                            XKB_KEY_F1, XKB_KEY_Left, XKB_KEY_Pause, XKB_KEY_Break,
                            XKB_KEY_Scroll_Lock}) {
    const std::string own = shown(ComposedPress::of(alone_of(sym)));
    EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), plain(sym), plain('e')}),
              "-," + own + ",65")
        << sym;
  }
  // Ctrl and Alt combinations: their own key, the dead key gone; a dead key
  // with Ctrl or Alt gives nothing and starts nothing.
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), with_ctrl('a'), plain('e')}), "-,61,65");
  EXPECT_EQ(feed(composer, {with_ctrl(XKB_KEY_dead_acute), plain('e')}), ",65");
  // AltGr: a dead key it reaches is taken by the table (u with diaeresis on
  // the Portuguese layout); another AltGr key is its own and ends the dead key.
  EXPECT_EQ(feed(composer, {with_altgr(XKB_KEY_dead_diaeresis), plain('u')}), "-,fc");
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), with_altgr('@'), plain('e')}), "-,40,65");
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), with_altgr(XKB_KEY_EuroSign), plain('e')}),
            "-,,65");
  // Modifiers, AltGr pressed alone and the lock keys leave it pending.
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), plain(XKB_KEY_Shift_L),
                            with_ctrl(XKB_KEY_Control_L), plain(XKB_KEY_ISO_Level3_Shift),
                            plain(XKB_KEY_Caps_Lock), plain(XKB_KEY_Num_Lock), plain('e')}),
            "-," + named(NamedKey::left_shift) + "," + named(NamedKey::left_ctrl) + "," +
                named(NamedKey::right_alt) + ",,,e9");
  // A press without keysym changes nothing.
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_tilde), plain(XKB_KEY_NoSymbol), plain('a')}),
            "-,,e3");
  // reset drops a pending dead key.
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_tilde)}), "-");
  EXPECT_TRUE(composer.pending());
  composer.reset();
  EXPECT_FALSE(composer.pending());
  EXPECT_EQ(feed(composer, {plain('a')}), "61");
}

TEST_F(KeyComposeTest, TheComposeKey) {
  KeyComposer composer("C");
  ASSERT_TRUE(composer.has_table());
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_Multi_key), plain('\''), plain('a')}), "-,-,e1");
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_Multi_key), plain('o'), plain('c')}), "-,-,a9");
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_Multi_key), plain(','), plain('c')}), "-,-,e7");
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_Multi_key), plain('~'), plain('n')}), "-,-,f1");
  // The euro sign has no byte: dropped.
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_Multi_key), plain('='), plain('e'), plain('e')}),
            "-,-,-,65");
  // Enter in the middle of a sequence ends it and is delivered.
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_Multi_key), plain('\''), plain(XKB_KEY_Return)}),
            "-,-,0d");
  EXPECT_FALSE(composer.pending());
}

TEST_F(KeyComposeTest, TheLocaleOfTheEnvironment) {
  const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::vector<std::pair<std::string, bool>> saved;
  for (const char* n : names) {
    const char* v = std::getenv(n);
    saved.emplace_back(v ? v : "", v != nullptr);
    unsetenv(n);
  }
  EXPECT_EQ(environment_locale(), "C");
  setenv("LANG", "pt_PT.UTF-8", 1);
  EXPECT_EQ(environment_locale(), "pt_PT.UTF-8");
  setenv("LC_CTYPE", "", 1);  // set but empty: not taken
  EXPECT_EQ(environment_locale(), "pt_PT.UTF-8");
  setenv("LC_CTYPE", "en_GB.UTF-8", 1);
  EXPECT_EQ(environment_locale(), "en_GB.UTF-8");
  setenv("LC_ALL", "POSIX", 1);
  EXPECT_EQ(environment_locale(), "POSIX");
  for (std::size_t i = 0; i < saved.size(); ++i) {
    if (saved[i].second) {
      setenv(names[i], saved[i].first.c_str(), 1);
    } else {
      unsetenv(names[i]);
    }
  }
}

TEST_F(KeyComposeTest, ALocaleWithoutATableFallsBackToTheDefaultOne) {
  for (const char* locale : {"C", "POSIX", "C.UTF-8", "pt_PT.UTF-8", "en_US.UTF-8"}) {
    KeyComposer composer(locale);
    EXPECT_TRUE(composer.has_table()) << locale;
    EXPECT_FALSE(composer.fell_back()) << locale;
    EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_tilde), plain('a')}), "-,e3") << locale;
  }
  // "pt_PT" is an ISO 8859-1 locale, whose table libxkbcommon cannot read;
  // the others have none.
  for (const char* locale : {"pt_PT", "xx_YY.UTF-8", "not a locale", ""}) {
    KeyComposer composer(locale);
    EXPECT_TRUE(composer.has_table()) << locale;
    EXPECT_TRUE(composer.fell_back()) << locale;
    EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_tilde), plain('a')}), "-,e3") << locale;
  }
}

TEST_F(KeyComposeTest, TheUsersOwnComposeFileIsTheTable) {
  const std::filesystem::path file = home_ / "XCompose";
  std::ofstream(file) << "<dead_acute> <b> : \"\xC3\xBE\"\n"  // thorn, 0xFE
                         "<Multi_key> <x> : \"\xE2\x82\xAC\"\n"
                         "<Multi_key> <y> : \"\xC2\x9F\"\n"  // U+009F, below Latin-1
                         "<Multi_key> <z> : \"\xC4\x80\"\n";  // U+0100, above it
  setenv("XCOMPOSEFILE", file.c_str(), 1);
  KeyComposer composer("C");
  ASSERT_TRUE(composer.has_table());
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), plain('b')}), "-,fe");
  // Only the user's sequences: the system's dead acute e is not there.
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_acute), plain('e'), plain('e')}), "-,-,65");
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_Multi_key), plain('x')}), "-,-");
  // Just outside the characters 0xA0..0xFF that are bytes: dropped.
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_Multi_key), plain('y')}), "-,-");
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_Multi_key), plain('z')}), "-,-");
}

TEST_F(KeyComposeTest, WithoutAnyTableNothingIsComposed) {
  // No system tables (an empty folder in their place) and no user file.
  setenv("XLOCALEDIR", home_.c_str(), 1);
  KeyComposer composer("C");
  EXPECT_FALSE(composer.has_table());
  EXPECT_EQ(feed(composer, {plain(XKB_KEY_dead_tilde), plain('a'), plain(XKB_KEY_Multi_key),
                            plain(XKB_KEY_Return)}),
            ",61,,0d");
  EXPECT_FALSE(composer.pending());
}

}  // namespace
}  // namespace console
