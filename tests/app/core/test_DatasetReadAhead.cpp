// Datasets loaded ahead on several threads: the same results, in list order, as loading in turn.
#include "app/core/DatasetReadAhead.h"

#include "app/core/CoreTestSupport.h"
#include "rtl/Exceptions.h"
#include "rtl/ObjectHooks.h"
#include "sage_datasets/SageDataset.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using rtl::UnicodeString;
using namespace ven::testing;

struct TOutcome {
    UnicodeString Company; // empty when left out
    UnicodeString Reason;
    int Returns = 0;
    std::size_t ReturnsLeftOut = 0;
    bool operator==(const TOutcome&) const = default;
};

class DatasetReadAheadTest : public ::testing::Test {
protected:
    // Good datasets, damaged ones and folders that hold none, interleaved.
    std::vector<ven::TDatasetReadAhead::TCandidate> Candidates() {
        const TDamagedData damaged = WriteDamagedData(_tmp.Path() / "damaged");
        std::vector<ven::TDatasetReadAhead::TCandidate> list;
        for (int i = 0; i < 12; ++i) {
            const fs::path folder = _tmp.Path() / ("Company." + std::to_string(i));
            WriteDataset(MakeDataset(folder, "Company " + std::to_string(i), "GB 123 4567 89", 1 + i % 3));
            list.push_back({ToText(folder), std::nullopt});
            if (i % 4 == 1) {
                list.push_back({ToText(damaged.UnknownVersion), std::nullopt});
                list.push_back({ToText(damaged.Incomplete), std::nullopt});
                list.push_back({ToText(_tmp.Path() / "nothing here"), std::nullopt});
            }
        }
        return list;
    }

    static TOutcome Outcome(sage::TSageDataset* dataset, const sage::TSageLeftOut& whyNot) {
        TOutcome outcome{dataset ? dataset->CompanyName() : UnicodeString(), whyNot.Reason};
        if (dataset) {
            outcome.Returns = dataset->VatReturns().Count();
            outcome.ReturnsLeftOut = dataset->LeftOut().size();
        }
        rtl::Free(dataset);
        return outcome;
    }

    sage::TSageDatasetFactory _factory;
    TTempFolder _tmp;
};

TEST_F(DatasetReadAheadTest, GivesWhatLoadingInTurnGivesInListOrder) {
    const auto candidates = Candidates();
    std::vector<TOutcome> inTurn;
    for (const auto& candidate : candidates) {
        sage::TSageLeftOut whyNot;
        inTurn.push_back(Outcome(_factory.MakeDatasetAndLoad(candidate.Folder, &whyNot), whyNot));
    }
    for (std::size_t threads : {1u, 3u, 16u}) {
        ven::TDatasetReadAhead readAhead(_factory, candidates, threads);
        ASSERT_EQ(readAhead.Count(), candidates.size());
        std::vector<TOutcome> ahead;
        for (std::size_t i = 0; i < readAhead.Count(); ++i) {
            sage::TSageLeftOut whyNot;
            ahead.push_back(Outcome(readAhead.Take(i, whyNot), whyNot));
        }
        EXPECT_EQ(ahead, inTurn) << threads << " threads";
    }
    EXPECT_EQ(inTurn.front().Returns, 1);
    EXPECT_FALSE(inTurn[2].Reason.empty());
    EXPECT_EQ(inTurn[3].ReturnsLeftOut, 2u); // the damaged dataset's two files
}

// Leaving early (an exception in the taker) must neither leak the datasets loaded ahead nor leave a
// thread running on the factory; a candidate is handed over once only.
TEST_F(DatasetReadAheadTest, LeavingEarlyFreesWhatWasNotTakenAndATakeIsOnce) {
    const auto candidates = Candidates();
    {
        ven::TDatasetReadAhead readAhead(_factory, candidates);
        sage::TSageLeftOut whyNot;
        Outcome(readAhead.Take(3, whyNot), whyNot);
        EXPECT_THROW(readAhead.Take(3, whyNot), rtl::Exception);
    }
    ven::TDatasetReadAhead none(_factory, {});
    EXPECT_EQ(none.Count(), 0u);
}

} // namespace
