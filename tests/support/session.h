// The session fixture: every test that touches the process-wide session
// state (common/session.h) derives its fixture from SessionTest, so it starts
// from a clean session and leaves one behind, even when an assertion failed
// halfway through the test before.
#pragma once

#include "common/session.h"

#include <gtest/gtest.h>

namespace inkpost::test {

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override { blogSession().reset(); }
  void TearDown() override { blogSession().reset(); }
};

}  // namespace inkpost::test
