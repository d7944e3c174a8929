#pragma once
// Fixture of the return window tests: a data module with generated datasets loaded into it, and the
// VAT group of two datasets that the group cases use.
#include "app/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace sage {
class TSageDataset;
} // namespace sage

namespace ven::testing {

class ReturnsTest : public ::testing::Test {
protected:
    void SetUp() override;

    /// Writes the dataset (each return named after the company unless it has a name) and adds it
    /// to the data module's list and table.
    sage::TSageDataset* Load(venturo::sample::TSampleDataset sample);
    /// A dataset of company and VAT number with the given returns, in a fresh folder.
    venturo::sample::TSampleDataset Sample(const std::string& company, const std::string& vatNumber);
    /// Alpha (Q1 and Q2 of 2021) and Beta (Q2 only, box 1 -£50.00) under one VAT number, and Other
    /// under another; fills alpha, beta and other.
    void LoadGroup();

    static rtl::Currency Pounds(std::int64_t pounds) { return rtl::Currency::FromRaw(pounds * 10000); }

    TRegistryScope registry;
    std::unique_ptr<TVenSystemMode> mode = DesktopMode();
    TdmVenMTD dm{*mode};
    TTempFolder tmp;
    sage::TSageDataset* alpha = nullptr;
    sage::TSageDataset* beta = nullptr;
    sage::TSageDataset* other = nullptr;

private:
    int _nFolders = 0;
};

} // namespace ven::testing
