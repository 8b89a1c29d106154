// The start-up code of the builds with no C runtime: static objects are built
// in the order the compiler laid them down and torn down in reverse, once.
#include <gtest/gtest.h>

#include <stdint.h>

#include <string>

#include "runtime/exit_table.h"
#include "runtime/static_init.h"

namespace {

std::string calls;
void A() { calls += 'a'; }
void B() { calls += 'b'; }
void C() { calls += 'c'; }

const runtime::Routine kHead = reinterpret_cast<runtime::Routine>(intptr_t{-1});

TEST(RuntimeTest, ConstructorListRunsLastToFirstAfterTheHeadUpToTheNullEnd) {
    const runtime::Routine list[] = {kHead, A, B, C, nullptr, A};
    calls.clear();
    runtime::RunConstructorList(list);
    EXPECT_EQ(calls, "cba");
}

TEST(RuntimeTest, DestructorListRunsFirstToLastAfterTheHeadUpToTheNullEnd) {
    const runtime::Routine list[] = {kHead, A, B, C, nullptr, A};
    calls.clear();
    runtime::RunDestructorList(list);
    EXPECT_EQ(calls, "abc");
}

TEST(RuntimeTest, EmptyListsRunNothing) {
    const runtime::Routine list[] = {kHead, nullptr};
    calls.clear();
    runtime::RunConstructorList(list);
    runtime::RunDestructorList(list);
    EXPECT_EQ(calls, "");
}

runtime::ExitTable* table;
void AddsC() {
    calls += 'x';
    table->Add(C);
}

TEST(RuntimeTest, ExitRoutinesRunLastAddedFirstOnceEvenThoseAddedWhileRunning) {
    runtime::ExitTable exits;
    table = &exits;
    ASSERT_TRUE(exits.Add(A));
    ASSERT_TRUE(exits.Add(AddsC));
    ASSERT_TRUE(exits.Add(B));
    calls.clear();
    exits.RunAll();
    EXPECT_EQ(calls, "bxca");
    exits.RunAll();
    EXPECT_EQ(calls, "bxca");
}

TEST(RuntimeTest, FullTableRefusesTheNextRoutineAndStillRunsAllItHolds) {
    runtime::ExitTable exits;
    EXPECT_FALSE(exits.Add(nullptr));
    for (size_t i = 0; i < runtime::ExitTable::kCapacity; ++i) ASSERT_TRUE(exits.Add(A)) << i;
    EXPECT_FALSE(exits.Add(B));
    calls.clear();
    exits.RunAll();
    EXPECT_EQ(calls, std::string(runtime::ExitTable::kCapacity, 'a'));
}

}  // namespace
