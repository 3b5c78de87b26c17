// The rule store: its line syntax, the file, the name index and the write protocol.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fwsim/testing.h>

#include "support/sim_test.h"

namespace {

using fwsim::add_refusal;
using fwsim::format_rule;
using fwsim::parse_rule;
using fwsim::Prop;
using fwsim::PropValue;
using fwsim::Rule;
// A store of its own on the test's file, as another process has.
using RuleStore = fwsim::StoreHandle;

Rule named(std::u16string name) { return Rule{{Prop::Name, std::move(name)}}; }

class StoreTest : public orvane::testing::SimTest {
 protected:
  std::string file_text() const {
    std::ifstream in(store(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void write_file(const std::string& text) const {
    std::filesystem::path temp = store().string() + ".test";
    std::ofstream(temp, std::ios::binary) << text;
    std::filesystem::rename(temp, store());
  }
};

TEST(StoreSyntax, WritesTheDocumentedLine) {
  const Rule rule = {{Prop::Name, u"Orvane Lobby In"},
                     {Prop::Direction, 1},
                     {Prop::Enabled, -1},
                     {Prop::Action, 1},
                     {Prop::ApplicationName, u"Z:\\games\\orvane\\orvane-lobby.exe"},
                     {Prop::Protocol, 17}};
  const std::string line = R"(Name="Orvane Lobby In" Direction=1 Enabled=-1 Action=1 )"
                           R"(ApplicationName="Z:\\games\\orvane\\orvane-lobby.exe" Protocol=17)";
  EXPECT_EQ(format_rule(rule), line);
  EXPECT_EQ(parse_rule(line), rule);
}

TEST(StoreSyntax, EveryPropertyAndInterfacesFormRoundTrip) {
  using fwsim::InterfaceList;
  const Rule rule = {
      {Prop::serviceName, u""},
      {Prop::Interfaces, InterfaceList{std::vector<std::u16string>{u"eth0", u"wlan 0"}}},
      {Prop::Profiles, 0x7FFFFFFF},
      {Prop::EdgeTraversal, 0},
      {Prop::LocalPorts, u"80,443"},
      {Prop::RemotePorts, u"*"},
      {Prop::LocalAddresses, u"LocalSubnet"},
      {Prop::RemoteAddresses, u"10.0.0.0/8"},
      {Prop::IcmpTypesAndCodes, u"8:*"},
      {Prop::InterfaceTypes, u"Lan,Wireless"},
      {Prop::Grouping, u"@x.dll,-1"},
      {Prop::Description, u"d"},
      {Prop::Protocol, -2147483647 - 1}};
  const std::string line = format_rule(rule);
  EXPECT_NE(line.find(R"(Interfaces=["eth0","wlan 0"])"), std::string::npos);
  EXPECT_EQ(parse_rule(line), rule);
  for (const auto& [list, text] :
       {std::pair{InterfaceList{}, "Interfaces=empty"},
        std::pair{InterfaceList{std::vector<std::u16string>{}}, "Interfaces=[]"}}) {
    const Rule one = {{Prop::Interfaces, list}};
    EXPECT_EQ(format_rule(one), text);
    EXPECT_EQ(parse_rule(text), one);
  }
}

TEST(StoreSyntax, UnreadableLinesSayWhy) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Colour=3", "unknown property \"Colour\""},
      {"name=\"x\"", "unknown property \"name\""},
      {"Name=x", "malformed text for Name"},
      {"Name=\"unterminated", "malformed text for Name"},
      {"Name=\"x\"  Direction=1", "expected PROPERTY=VALUE"},
      {"Name=\"x\" ", "expected one space"},
      {"Name=\"x\"Direction=1", "expected one space"},
      {"Direction=1.5", "expected one space"},
      {"Direction=+1", "malformed number for Direction"},
      {"Direction=", "malformed number for Direction"},
      {"Protocol=2147483648", "malformed number for Protocol"},
      {"Enabled=32768", "malformed number for Enabled"},
      {"Interfaces=[eth0]", "malformed list for Interfaces"},
      {"Interfaces=[\"a\",]", "malformed list for Interfaces"},
      {"Interfaces=[\"a\"", "malformed list for Interfaces"},
      {"Interfaces=none", "malformed list for Interfaces"},
      {"Name=\"a\" Name=\"b\"", "Name given twice"},
      {"Name", "expected PROPERTY=VALUE"},
  };
  for (const auto& [line, reason] : cases) {
    auto rule = parse_rule(line);
    ASSERT_FALSE(rule.has_value()) << line;
    EXPECT_NE(rule.error().find(reason), std::string::npos) << line << ": " << rule.error();
  }
}

TEST(StoreSyntax, ReasonsShowControlBytesEscapedOnOneLine) {
  // A store written on Windows ends its lines in CR LF; the reason must not carry the CR along.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\rName=\"x\"", "unknown property \"\\rName\""},
      {"Na\tme=1", "unknown property \"Na\\tme\""},
      {"Colour\x01=3", "unknown property \"Colour\\u{1}\""},
      {"Name\x7f", "expected PROPERTY=VALUE at \"Name\\u{7f}\""},
  };
  for (const auto& [line, reason] : cases) {
    auto rule = parse_rule(line);
    ASSERT_FALSE(rule.has_value()) << line;
    EXPECT_EQ(rule.error(), reason);
  }
}

// The firewall's checks of a whole rule, each refused form beside the nearest accepted one.
TEST(StoreSyntax, AddRefusesWhatTheFirewallRefuses) {
  const auto with = [](Prop prop, PropValue value) {
    Rule rule = named(u"r");
    rule.push_back({prop, std::move(value)});  // the cases below never put Name twice
    return rule;
  };
  const std::u16string app = u"C:\\a.exe";
  const struct {
    Rule rule;
    const char* refusal;  // nullptr: accepted
  } cases[] = {
      {named(u""), "Name is empty"},
      {Rule{{Prop::Direction, 1}}, "Name is empty"},
      {named(u"a|b"), "Name contains |"},
      {named(std::u16string(10'000, u'n')), "Name is 10,000 units or longer"},
      {named(std::u16string(9'999, u'n')), nullptr},
      {named(u"all"), "Name is \"all\", which names every rule"},
      {named(u"ALL"), "Name is \"all\", which names every rule"},
      {named(u"alL"), "Name is \"all\", which names every rule"},
      {named(u"all "), nullptr},
      {named(u"allow"), nullptr},
      {named(u"Orvane Lobby In"), nullptr},
      {with(Prop::Description, u"x|y"), "Description contains |"},
      {with(Prop::Description, std::u16string(10'000, u'd')),
       "Description is 10,000 units or longer"},
      {with(Prop::ApplicationName, u"\\\\?\\C:\\a.exe"),
       "ApplicationName contains one of / * ? \" < > |"},
      {with(Prop::ApplicationName, u"C:/a.exe"), "ApplicationName contains one of / * ? \" < > |"},
      {with(Prop::ApplicationName, u"C:\\a<b>.exe"),
       "ApplicationName contains one of / * ? \" < > |"},
      {with(Prop::ApplicationName, u"C:\\*.exe"), "ApplicationName contains one of / * ? \" < > |"},
      {with(Prop::ApplicationName, u"\"C:\\a.exe\""),
       "ApplicationName contains one of / * ? \" < > |"},
      {with(Prop::ApplicationName, u"C:\\a|b.exe"),
       "ApplicationName contains one of / * ? \" < > |"},
      {with(Prop::ApplicationName, app + std::u16string(260 - app.size(), u'x')),
       "ApplicationName is 260 units or longer"},
      {with(Prop::ApplicationName, app + std::u16string(259 - app.size(), u'x')), nullptr},
      {with(Prop::ApplicationName, u"\\\\srv\\share\\a b\u00e9.exe"), nullptr},
      {with(Prop::serviceName, u"a\\b"), "serviceName contains one of / \\ |"},
      {with(Prop::serviceName, u"a/b"), "serviceName contains one of / \\ |"},
      {with(Prop::serviceName, std::u16string(260, u's')), "serviceName is 260 units or longer"},
      {with(Prop::serviceName, u"Dnscache"), nullptr},
      {with(Prop::Profiles, 0), "Profiles is 0, no profile"},
      {with(Prop::Profiles, 4), nullptr},
      {Rule{{Prop::Name, u"r"}, {Prop::Direction, 2}, {Prop::EdgeTraversal, -1}},
       "EdgeTraversal is true on an outbound rule"},
      {Rule{{Prop::Name, u"r"}, {Prop::EdgeTraversal, -1}}, nullptr},
      {Rule{{Prop::Name, u"r"}, {Prop::Direction, 2}, {Prop::EdgeTraversal, 0}}, nullptr},
      {with(Prop::Direction, 0), "Direction is neither 1 (in) nor 2 (out)"},
      {with(Prop::Direction, 3), "Direction is neither 1 (in) nor 2 (out)"},
      {with(Prop::Direction, 2), nullptr},
      {with(Prop::Action, 2), "Action is neither 0 (block) nor 1 (allow)"},
      {with(Prop::Action, -1), "Action is neither 0 (block) nor 1 (allow)"},
      {with(Prop::Action, 0), nullptr},
      {with(Prop::Protocol, 257), "Protocol is above 256 (any)"},
      {with(Prop::Protocol, 256), nullptr},
  };
  for (const auto& c : cases) {
    const auto refusal = add_refusal(c.rule);
    EXPECT_EQ(refusal.value_or("accepted"), c.refusal ? c.refusal : "accepted")
        << format_rule(c.rule).substr(0, 80);
  }
}

TEST_F(StoreTest, AwkwardTextsSurviveTheFile) {
  const std::vector<std::u16string> texts = {
      u"quote \" inside",
      u"back\\slash\\",
      std::u16string(u"nul\0nul", 7),
      u"tab\tline\ncr\r",
      u"\u0001\u007F",
      u"Zürich 東京 \U0001F525",
      std::u16string(1, u'\xD800') + u"lone high",
      u"lone low " + std::u16string(1, u'\xDC00'),
      std::u16string{u'\xDC00', u'\xD800'},  // two lone surrogates the wrong way round
  };
  RuleStore writer;
  for (const auto& text : texts) {
    ASSERT_TRUE(writer.append({{Prop::Name, text}, {Prop::Description, text}}));
  }
  RuleStore reader;  // a fresh process reading the file
  ASSERT_EQ(reader.count(), texts.size());
  for (const auto& text : texts) {
    auto found = reader.find(text);
    ASSERT_TRUE(found.has_value());
    ASSERT_TRUE(found->has_value()) << "lost a text of " << text.size() << " units";
    EXPECT_EQ(**found, (Rule{{Prop::Name, text}, {Prop::Description, text}}));
  }
  // Each text is one line: nothing in it can end a line early.
  const std::string written = file_text();
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 9);
}

TEST_F(StoreTest, MissingFileIsAnEmptyStoreAndAddCreatesTheFolder) {
  const std::filesystem::path nested = store().string() + ".d/deeper/rules";
  fwsim::set_store_path(nested.string());
  RuleStore rules;
  EXPECT_EQ(rules.count(), 0u);
  ASSERT_TRUE(rules.append(named(u"a")));
  EXPECT_TRUE(std::filesystem::exists(nested));
  // Only the store and its lock file: no temporary file is left behind.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(nested.parent_path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"rules", "rules.lock"}));
  std::filesystem::remove_all(store().string() + ".d");
}

TEST_F(StoreTest, CommentsStayInPlaceAndAreNotListed) {
  write_file("# header\nName=\"a\"\n\n# between\nName=\"b\"\n");
  RuleStore rules;
  ASSERT_TRUE(rules.append(named(u"c")));
  EXPECT_EQ(file_text(), "# header\nName=\"a\"\n\n# between\nName=\"b\"\nName=\"c\"\n");
  EXPECT_EQ(rules.rule_lines(),
            (std::vector<std::string>{"Name=\"a\"", "Name=\"b\"", "Name=\"c\""}));
  ASSERT_TRUE(rules.clear());
  EXPECT_EQ(file_text(), "# header\n\n# between\n");
  EXPECT_EQ(rules.count(), 0u);
}

TEST_F(StoreTest, DamagedStoreRefusesEverythingAndKeepsItsBytes) {
  const std::string damaged = "Name=\"a\"\n# fine\nName=\"b\" Direction=x\nName=\"c\"";
  write_file(damaged);
  RuleStore rules;
  auto checked = rules.check();
  ASSERT_FALSE(checked.has_value());
  EXPECT_NE(checked.error().find("line 3"), std::string::npos) << checked.error();
  EXPECT_NE(checked.error().find(store().string()), std::string::npos);
  EXPECT_FALSE(rules.count().has_value());
  EXPECT_FALSE(rules.find(u"a").has_value());
  EXPECT_FALSE(rules.rule_lines().has_value());
  EXPECT_FALSE(rules.append(named(u"d")).has_value());
  EXPECT_FALSE(rules.clear().has_value());
  EXPECT_EQ(file_text(), damaged);
  // Once repaired, the store is read again.
  write_file("Name=\"a\"\n");
  EXPECT_EQ(rules.count(), 1u);
}

TEST_F(StoreTest, IndexFollowsAnotherWritersChanges) {
  RuleStore mine;
  RuleStore theirs;  // another process on the same file
  ASSERT_TRUE(mine.append(named(u"one")));
  ASSERT_TRUE(mine.find(u"one")->has_value());
  ASSERT_TRUE(theirs.append(named(u"two")));  // must see "one" first, under the lock
  ASSERT_TRUE(mine.append(named(u"three")));  // and this one "two"
  EXPECT_EQ(theirs.count(), 3u);
  EXPECT_TRUE(theirs.find(u"three")->has_value());
  write_file("Name=\"dup\" Direction=2\nName=\"dup\" Direction=1\n");
  EXPECT_FALSE(mine.find(u"one")->has_value());
  EXPECT_EQ(*mine.find(u"dup"), (Rule{{Prop::Name, u"dup"}, {Prop::Direction, 2}}));
}

TEST_F(StoreTest, LargeStoreFindsEveryRuleAndTheFirstOfEachName) {
  std::string text;
  for (int i = 0; i < 20000; ++i) {
    text += "Name=\"rule " + std::to_string(i % 10000) + "\" Protocol=" + std::to_string(i) + "\n";
  }
  write_file(text);
  RuleStore rules;
  ASSERT_EQ(rules.count(), 20000u);
  for (int i = 0; i < 10000; i += 7) {
    const std::string digits = std::to_string(i);
    auto found = rules.find(u"rule " + std::u16string(digits.begin(), digits.end()));
    ASSERT_TRUE(found && *found);
    EXPECT_EQ((**found)[1].value, fwsim::PropValue{i});
  }
}

}  // namespace
