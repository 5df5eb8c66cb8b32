#include "math/param_space.h"

#include <gtest/gtest.h>

#include <string>

#include "persistence/xml_storage.h"

namespace lumessa {
namespace {

Ref<TParamSpace> LoadSpace(const std::string& defs) {
  Ref<TParamSpace> space = NewObject<TParamSpace>();
  Ref<IHierStorage> root =
      LoadStorageFromText("<paramspace><paramdefs>" + defs + "</paramdefs></paramspace>");
  EXPECT_TRUE(root);
  space->Load(root);
  return space;
}

struct TDefCase {
  const char* attributes;
  bool isStatic;
  float value;
  const char* outName;
  int outRow;
  int outCol;
};

void PrintTo(const TDefCase& c, std::ostream* os) {
  std::string s;
  for (const char* p = c.attributes; *p; ++p) s += *p == '"' ? '\'' : *p;
  *os << (s.empty() ? "(none)" : s);
}

class ParamDefLoadTest : public ::testing::TestWithParam<TDefCase> {};

TEST_P(ParamDefLoadTest, ReadsTheBindingRules) {
  const TDefCase& c = GetParam();
  Ref<TParamSpace> space = LoadSpace(std::string("<paramdef name=\"a\" ") + c.attributes + "/>");
  Ref<IParamDef> d = space->GetParamDefs()->FindByName("a");
  ASSERT_TRUE(d) << c.attributes;
  EXPECT_EQ(d->IsStatic(), c.isStatic) << c.attributes;
  EXPECT_FLOAT_EQ(d->GetValue(), c.value) << c.attributes;
  EXPECT_EQ(d->GetOutName(), c.outName) << c.attributes;
  EXPECT_EQ(d->GetOutRow(), c.outRow) << c.attributes;
  EXPECT_EQ(d->GetOutCol(), c.outCol) << c.attributes;
}

INSTANTIATE_TEST_SUITE_P(
    ParamSpace, ParamDefLoadTest,
    ::testing::Values(
        // Neither outname nor a position: bound to the source cell of its own name.
        TDefCase{"", false, 0, "a", 0, 0},
        // Only one coordinate: bound by position, the other coordinate 0.
        TDefCase{"outcol=\"2\"", false, 0, "", 0, 2}, TDefCase{"outrow=\"3\"", false, 0, "", 3, 0},
        TDefCase{"outrow=\"3\" outcol=\"1\"", false, 0, "", 3, 1},
        TDefCase{"outname=\"b\" outrow=\"3\"", false, 0, "b", 0, 0},
        // Static cells bind to nothing; only they read "value".
        TDefCase{"static=\"yes\" value=\"1.5\" outrow=\"3\"", true, 1.5f, "", 0, 0},
        TDefCase{"value=\"1.5\"", false, 0, "a", 0, 0}));

TEST(ParamDefCollection, RowsAppendAndSamePositionOverrides) {
  Ref<TParamSpace> space = LoadSpace(
      "<paramdef name=\"x\" col=\"1\"/>"
      "<paramdef name=\"y\" col=\"1\"/>"
      "<paramdef name=\"z\" col=\"1\"/>"
      "<paramdef name=\"k\" col=\"2\" row=\"0\" static=\"yes\" value=\"1\"/>"
      "<paramdef name=\"k2\" col=\"2\" row=\"0\" static=\"yes\" value=\"2\"/>");
  Ref<IParamDefCollection> defs = space->GetParamDefs();
  EXPECT_EQ(defs->FindByName("x")->GetRow(), 0);
  EXPECT_EQ(defs->FindByName("y")->GetRow(), 1);
  EXPECT_EQ(defs->FindByName("z")->GetRow(), 2);
  // The second element at (2, 0) loaded into the first definition.
  EXPECT_EQ(defs->Count(), 4);
  EXPECT_EQ(defs->FindAt(2, 0)->GetName(), "k2");
  EXPECT_FLOAT_EQ(defs->FindAt(2, 0)->GetValue(), 2);
  EXPECT_EQ(defs->GetColumnCount(), 3);
  EXPECT_EQ(defs->GetColumnLength(0), 0);
  EXPECT_EQ(defs->GetColumnLength(1), 3);
  EXPECT_EQ(defs->GetColumnLength(3), 0);

  // Adding at an occupied position is refused; deleting drops the layout.
  space->AddParamDef("dup", 1, 0, "", true, 1);
  EXPECT_EQ(defs->Count(), 4);
  defs->Delete(TVariant("z"));
  EXPECT_EQ(defs->GetColumnLength(1), 2);
}

TEST(ParamDefCollection, AbsurdPositionsAreRefused) {
  Ref<TParamSpace> space = LoadSpace(
      "<paramdef name=\"far\" row=\"1000000000\" static=\"yes\"/>"
      "<paramdef name=\"wide\" col=\"2000000000\" static=\"yes\"/>"
      "<paramdef name=\"neg\" col=\"-3\" static=\"yes\"/>"
      "<paramdef name=\"ok\" static=\"yes\" value=\"4\"/>");
  EXPECT_EQ(space->GetParamDefs()->Count(), 1);
  space->Bind(nullptr);
  EXPECT_EQ(space->GetColumnCount(), 1);
  EXPECT_FLOAT_EQ(space->GetValueByName("ok"), 4);
}

TEST(ParamSpace, EmptySpace) {
  Ref<TParamSpace> space = LoadSpace("");
  EXPECT_EQ(space->GetParamDefs()->GetColumnCount(), 0);
  space->Bind(nullptr);
  EXPECT_EQ(space->GetColumnCount(), 0);
  EXPECT_EQ(space->GetColumnLength(0), 0);
  EXPECT_EQ(space->GetColumnLength(7), 0);
  EXPECT_FLOAT_EQ(space->GetValue(0, 0), 0);
  space->SetValue(3, 3, 1);  // nothing there: ignored
  EXPECT_EQ(space->GetCell(0, 0), nullptr);
}

class ParamSpaceBindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_ = LoadSpace(
        "<paramdef name=\"time\" col=\"1\" static=\"yes\" value=\"10\"/>"
        "<paramdef name=\"speed\" col=\"1\" static=\"yes\" value=\"20\"/>"
        "<paramdef name=\"c0\" col=\"2\" static=\"yes\" value=\"30\"/>"
        "<paramdef name=\"c1\" col=\"2\" static=\"yes\" value=\"40\"/>");
    source_->Bind(nullptr);
    target_ = LoadSpace(
        "<paramdef name=\"time\" col=\"1\"/>"                         // by its own name
        "<paramdef name=\"v\" col=\"1\" outname=\"speed\"/>"          // by another name
        "<paramdef name=\"p\" col=\"1\" outcol=\"2\"/>"               // by position (2, 0)
        "<paramdef name=\"q\" col=\"1\" outcol=\"2\" outrow=\"1\"/>"  // by position (2, 1)
        "<paramdef name=\"gone\" col=\"1\" outname=\"nothing\"/>"     // no such source cell
        "<paramdef name=\"own\" col=\"2\" static=\"yes\" value=\"5\"/>");
    target_->Bind(source_);
  }
  void TearDown() override {
    target_->Unbind();
    source_->Unbind();
  }
  Ref<TParamSpace> source_, target_;
};

TEST_F(ParamSpaceBindTest, NonStaticCellsAreTheSourceCells) {
  EXPECT_EQ(target_->GetCellByName("time"), source_->GetCellByName("time"));
  EXPECT_EQ(target_->GetCellByName("v"), source_->GetCellByName("speed"));
  EXPECT_EQ(target_->GetCellByName("p"), source_->GetCell(2, 0));
  EXPECT_EQ(target_->GetCellByName("q"), source_->GetCell(2, 1));
  EXPECT_FLOAT_EQ(target_->GetValue(1, 3), 40);
  // Values are shared, not copied.
  source_->SetValueByName("time", 99);
  EXPECT_FLOAT_EQ(target_->GetValueByName("time"), 99);
  target_->SetValue(1, 1, 7);
  EXPECT_FLOAT_EQ(source_->GetValueByName("speed"), 7);
}

TEST_F(ParamSpaceBindTest, AMissingSourceCellIsAStandIn) {
  // Reads and writes work on a cell of its own; it is never handed to other spaces.
  EXPECT_EQ(target_->GetCellByName("gone"), nullptr);
  ASSERT_NE(target_->GetCells().At(1, 4), nullptr);
  EXPECT_FALSE(target_->GetCells().IsPresent(1, 4));
  target_->SetValueByName("gone", 3);
  EXPECT_FLOAT_EQ(target_->GetValueByName("gone"), 3);
  EXPECT_TRUE(target_->GetCells().IsPresent(1, 0));
}

TEST_F(ParamSpaceBindTest, RebindingResetsStaticCells) {
  target_->SetValueByName("own", 123);
  target_->Unbind();
  EXPECT_EQ(target_->GetColumnCount(), 0);
  target_->Bind(source_);
  EXPECT_FLOAT_EQ(target_->GetValueByName("own"), 5);
}

TEST_F(ParamSpaceBindTest, PrivateCellsCopyStaticsAndShareBoundCells) {
  target_->SetValueByName("own", 8);
  TCellMatrix mine;
  target_->BuildPrivateCells(mine);
  ASSERT_EQ(mine.ColumnCount(), target_->GetColumnCount());
  TParamCell* own = mine.At(2, 0);
  ASSERT_NE(own, nullptr);
  EXPECT_NE(own, target_->GetCellByName("own")) << "a new static cell";
  EXPECT_FLOAT_EQ(own->value, 8) << "starting with the current value";
  own->value = 1;
  EXPECT_FLOAT_EQ(target_->GetValueByName("own"), 8);
  EXPECT_EQ(mine.At(1, 0), source_->GetCellByName("time")) << "bound cells are shared";
  target_->FreePrivateCells(mine);
  EXPECT_TRUE(mine.IsEmpty());
}

TEST_F(ParamSpaceBindTest, ObjectsTravelWithTheCells) {
  Ref<TParamSpace> thing = NewObject<TParamSpace>();
  source_->SetObjectByName("time", thing);
  EXPECT_EQ(target_->GetObjectByName("time").get(), static_cast<IInterface*>(thing.get()));
  EXPECT_FALSE(target_->GetObjectByName("unknown"));
  source_->SetObjectByName("time", nullptr);
}

TEST(ParamSpace, SavedDefinitionsLoadTheSame) {
  Ref<TParamSpace> space = LoadSpace(
      "<paramdef name=\"own\"/>"
      "<paramdef name=\"other\" outname=\"x\"/>"
      "<paramdef name=\"pos\" col=\"1\" outcol=\"2\" outrow=\"1\"/>"
      "<paramdef name=\"origin\" col=\"1\" outcol=\"0\"/>"
      "<paramdef name=\"k\" col=\"2\" row=\"3\" static=\"yes\" value=\"2.5\"/>");
  Ref<IHierStorage> node = Query<IHierStorage>(CreateStorage("paramspace"));
  ASSERT_TRUE(node);
  space->Save(node);
  Ref<TParamSpace> copy = NewObject<TParamSpace>();
  copy->Load(node);
  Ref<IParamDefCollection> a = space->GetParamDefs(), b = copy->GetParamDefs();
  ASSERT_EQ(a->Count(), b->Count());
  for (int i = 0; i < a->Count(); ++i) {
    Ref<IParamDef> x = a->GetByIndex(i), y = b->GetByIndex(i);
    EXPECT_EQ(x->GetName(), y->GetName());
    EXPECT_EQ(x->GetCol(), y->GetCol()) << x->GetName();
    EXPECT_EQ(x->GetRow(), y->GetRow()) << x->GetName();
    EXPECT_EQ(x->IsStatic(), y->IsStatic()) << x->GetName();
    EXPECT_EQ(x->GetValue(), y->GetValue()) << x->GetName();
    EXPECT_EQ(x->GetOutName(), y->GetOutName()) << x->GetName();
    EXPECT_EQ(x->GetOutRow(), y->GetOutRow()) << x->GetName();
    EXPECT_EQ(x->GetOutCol(), y->GetOutCol()) << x->GetName();
  }
}

TEST(ParamSpace, UnknownNamesAndUnboundSpaces) {
  Ref<TParamSpace> space = LoadSpace(
      "<paramdef name=\"a\" static=\"yes\" value=\"2\"/>"
      "<paramdef name=\"b\" row=\"2\"/>");  // row 1 stays uncovered
  EXPECT_EQ(space->GetColumnCount(), 0) << "nothing before the first bind";
  space->Bind(nullptr);
  EXPECT_FLOAT_EQ(space->GetValueByName("A"), 2) << "names ignore case";
  EXPECT_FLOAT_EQ(space->GetValueByName("nope"), 0);
  space->SetValueByName("nope", 5);
  EXPECT_EQ(space->GetColumnLength(0), 3);
  // The gap and the unbound cell are usable stand-ins, not addresses for others.
  EXPECT_NE(space->GetCells().At(0, 1), nullptr);
  EXPECT_EQ(space->GetCell(0, 1), nullptr);
  EXPECT_EQ(space->GetCell(0, 2), nullptr);
  EXPECT_NE(space->GetCell(0, 0), nullptr);
}

}  // namespace
}  // namespace lumessa
