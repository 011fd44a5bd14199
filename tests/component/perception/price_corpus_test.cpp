// The corpus of price figures (price_corpus.h) read by the real text-recognition engine and judged
// as a first reading of the day: no figure may give a wrong price, every clean figure must give
// its price. Prints, per kind of figure, how many were read exactly, refused, and read wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "component/perception/price_corpus.h"
#include "perception/price_gate.h"
#include "perception/price_reader.h"

namespace kestrava::perception {
namespace {

using testing::FigureKind;

struct Tally {
    int exact = 0, refused = 0, wrong = 0;
};

TEST(PriceCorpus, NoWrongPriceAndEveryCleanFigureRead) {
    PriceReader reader;
    const TextEngineStatus status = reader.Init("");
    ASSERT_TRUE(status.ok) << status.error;
    const std::vector<testing::CorpusFigure> corpus = testing::MakeCorpus();
    ASSERT_FALSE(corpus.empty()) << "convert could not render the corpus";

    std::map<FigureKind, Tally> tally;
    for (const testing::CorpusFigure& f : corpus) {
        // A first reading of the day, with nothing to compare it with; except that a repaint
        // can only be caught after the page showed its previous price, which was believed.
        PriceGate gate;
        if (f.kind == FigureKind::Repaint) gate.Believe(f.right.front(), 0);
        const FigureReading reading = reader.ReadFigure(f.figure);
        const GateDecision d = gate.Judge(reading, GateContext{});
        Tally& t = tally[f.kind];
        if (!d.price) {
            ++t.refused;
            EXPECT_NE(f.kind, FigureKind::Clean) << f.name << ": clean figure refused: " << d.refusal;
            if (getenv("KESTRAVA_CORPUS_VERBOSE")) std::printf("%s (%s): %s\n", f.name.c_str(), testing::KindName(f.kind), d.refusal.c_str());
        } else if (std::find(f.right.begin(), f.right.end(), *d.price) != f.right.end()) {
            ++t.exact;
        } else {
            ++t.wrong;
            ADD_FAILURE() << f.name << " (" << testing::KindName(f.kind) << "): wrong price " << *d.price
                          << " accepted; engine text \"" << reading.text << "\"";
        }
    }

    std::printf("%-14s %8s %8s %8s %8s\n", "kind", "figures", "exact", "refused", "wrong");
    for (FigureKind k : testing::kFigureKinds) {
        const Tally& t = tally[k];
        std::printf("%-14s %8d %8d %8d %8d\n", testing::KindName(k), t.exact + t.refused + t.wrong, t.exact, t.refused,
                    t.wrong);
    }
}

}  // namespace
}  // namespace kestrava::perception
