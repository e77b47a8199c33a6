// GoogleTest fixture over a Lab: skips with the reason when this machine cannot
// make one, builds it before each test and removes it after, also when the test
// fails. Derived fixtures change the lab with lab_options() and put the emulator
// in the wire namespace by overriding start_wire().
#pragma once

#include "NetnsLab/Lab.h"

#include <gtest/gtest.h>

#include <memory>

namespace netnslab {

class LabTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto why = Lab::unavailable_reason())
            GTEST_SKIP() << *why;
        LabOptions opts = lab_options();
        if (opts.wire == WirePath::Hook && !opts.start_wire)
            opts.start_wire = [this](Lab& lab) { start_wire(lab); };
        try {
            m_lab = std::make_unique<Lab>(std::move(opts));
        } catch (const std::exception& e) {
            FAIL() << "cannot build the lab: " << e.what();
        }
    }

    void TearDown() override {
        if (m_lab) {
            bool clean = m_lab->teardown();
            m_lab.reset();
            EXPECT_TRUE(clean) << "the lab left namespaces behind";
        }
    }

    // The lab each test gets; the default bridges the wire with the kernel.
    virtual LabOptions lab_options() const { return {}; }
    // With WirePath::Hook: start what forwards between ws0/wn0 (or makes the
    // station's TAP and calls lab.attach_station()).
    virtual void start_wire(Lab&) {}

    Lab& lab() { return *m_lab; }

private:
    std::unique_ptr<Lab> m_lab;
};

} // namespace netnslab
