#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "engine/symbology/ChangeLink.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/symbology/ThemeClasses.h"

namespace {

TEST(ChangeLinks, ChangesInListOrderThenOnChange) {
    TThemeClass c;
    std::vector<std::string> log;
    int a = 0, b = 0;
    c.AddChangeLink(&a)->OnChange = [&](TChangeLink& l) {
        EXPECT_EQ(l.Control(), &a);
        log.push_back("a");
    };
    c.AddChangeLink(&b)->OnChange = [&](TChangeLink&) { log.push_back("b"); };
    c.AddChangeLink(&log);  // no callbacks assigned
    c.OnChange = [&](TThemeClass&) { log.push_back("own"); };
    c.SetSymbol(65);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "own"}));

    c.RemoveChangeLink(&a);
    EXPECT_THROW(c.RemoveChangeLink(&a), EEngineError);
    log.clear();
    c.SetSymbol(66);
    EXPECT_EQ(log, (std::vector<std::string>{"b", "own"}));
}

TEST(ChangeLinks, ListenerMayUnlinkDuringChange) {
    TThemeClasses list;
    int a = 0, b = 0, calls = 0;
    list.AddChangeLink(&a)->OnChange = [&](TChangeLink&) {
        ++calls;
        list.RemoveChangeLink(&a);
        list.AddChangeLink(&calls);  // told from the next round on
    };
    list.AddChangeLink(&b)->OnChange = [&](TChangeLink&) { ++calls; };
    list.Add(u"x"_qs);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(list.ChangeLinks().Count(), 2);
    list.Add(u"y"_qs);
    EXPECT_EQ(calls, 3);
}

TEST(ChangeLinks, DestructionDisconnectsInOrder) {
    std::vector<std::string> log;
    auto c = std::make_unique<TThemeClass>();
    int a = 0, b = 0;
    TThemeClass* source = c.get();
    c->AddChangeLink(&a)->OnDisconnect = [&](TChangeLink&) {
        log.push_back("a");
        source->RemoveChangeLink(&a);  // harmless while the source goes
    };
    c->AddChangeLink(&b)->OnDisconnect = [&](TChangeLink&) { log.push_back("b"); };
    c.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));

    // Classes freed by their list disconnect their listeners too.
    TThemeClasses list;
    list.Add(u"x"_qs);
    bool gone = false;
    list.GetItem(0)->AddChangeLink(&gone)->OnDisconnect = [&](TChangeLink&) { gone = true; };
    list.Clear();
    EXPECT_TRUE(gone);
}

TEST(ChangeLinks, ListenerFaultReachesTheCaller) {
    TThemeClass c;
    int a = 0, b = 0, later = 0;
    c.AddChangeLink(&a)->OnChange = [&](TChangeLink&) { throw EEngineError(u"listener"_qs); };
    c.AddChangeLink(&b)->OnChange = [&](TChangeLink&) { ++later; };
    EXPECT_THROW(c.SetLineWidth(2), EEngineError);
    EXPECT_EQ(later, 0);
    c.RemoveChangeLink(&a);  // the list is in order again
    c.SetLineWidth(3);
    EXPECT_EQ(later, 1);
}

}  // namespace
