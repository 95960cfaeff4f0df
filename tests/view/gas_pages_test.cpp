// The gas pages against a simulated transmitter of each kind.
#include <QCheckBox>
#include <QComboBox>

#include "pages/gas/gas_pages.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

using test::Box;
using test::Factory;
using test::Make;
using test::PageOnSim;
using test::Read;
using test::Request;
using test::Write;

// The gas-only entry blanks and disables the temperature and humidity, leaves them out of the
// poll and keeps the gas rows working; the other entry gives them back with the blank text.
TEST(GasPages, GasOnlyEntryOnAReadingAndAThresholdPage) {
  PageOnSim co("CoPage", Make("CoPage"));
  for (int id : {1068, 1054}) co.Set(id, "old");
  co.Choose(1236, "CO");
  for (int id : {1068, 1054}) EXPECT_EQ(co.Text(id), " ");
  for (int id : {1068, 1054, 1065, 1066}) EXPECT_FALSE(co.Enabled(id)) << id;
  EXPECT_TRUE(co.Enabled(1067));
  co.line.TakeRequests();
  co.Poll();
  EXPECT_EQ(co.line.TakeRequests(), std::vector<Request>{Read(2)});
  co.Choose(1236, "CO&Tem&Hum");
  for (int id : {1068, 1054, 1065, 1066}) EXPECT_TRUE(co.Enabled(id)) << id;
  EXPECT_EQ(co.Text(1068), " ");

  // On the sorted pages with an edit field only the buttons go; the fields stay enabled.
  PageOnSim ch4("Ch4Page", Make("Ch4Page"));
  ch4.Choose(1607, "CH4");
  EXPECT_TRUE(ch4.Enabled(1608) && ch4.Enabled(1610));
  EXPECT_FALSE(ch4.Enabled(1609) || ch4.Enabled(1611));
  // Ticked: the gas button and the list are locked; unticked, the temperature and humidity
  // buttons stay as the entry wants them.
  ch4.page->RealTimeCheckBox()->click();
  EXPECT_FALSE(ch4.Enabled(1612) || ch4.Enabled(1607));
  ch4.page->RealTimeCheckBox()->click();
  EXPECT_TRUE(ch4.Enabled(1612) && ch4.Enabled(1607));
  EXPECT_FALSE(ch4.Enabled(1609) || ch4.Enabled(1611));

  PageOnSim o2("O2Page", Make("O2Page"));
  const std::vector<int> climateEdits{1133, 1134, 1136, 1137, 1138, 1139, 1140, 1141};
  for (int id : climateEdits) o2.Set(id, "old");
  o2.Choose(1132, "O2 0-25%vol");
  int disabled = 0;
  for (QWidget* w : o2.page->findChildren<QWidget*>()) disabled += !w->objectName().isEmpty() && !w->isEnabled();
  EXPECT_GE(disabled, 22);
  for (int id : climateEdits) EXPECT_EQ(o2.Text(id), " ") << id;
  for (int id : {1135, 1147, 1142, 1160, 1161, 1144, 1164, 1165}) EXPECT_TRUE(o2.Enabled(id)) << id;
  // With the box ticked the limit and calibration buttons still work between polls.
  o2.Choose(1132, "O2&Temp&Hum 0-25%vol");
  o2.page->RealTimeCheckBox()->click();
  EXPECT_FALSE(o2.Enabled(1147) || o2.Enabled(1132) || o2.Enabled(1145));
  EXPECT_TRUE(o2.Enabled(1148) && o2.Enabled(1149) && o2.Enabled(1165));
}

// Each page's poll, request by request, and its real-time box with the port closed.
TEST(GasPages, PollOrderAndRealTimeBoxOfEveryPage) {
  const std::string mark = "Please open the serial port first!", plain = "Please open the serial port first";
  const std::vector<Request> temHumGas{Read(1), Read(0), Read(2)};
  const struct {
    const char* profile;
    Factory make;
    std::vector<Request> requests;
    int box;
    std::string message;
    QString caption = "Real Time";
  } cases[] = {
      {"LampPage", Make("LampPage"), {Read(0)}, 1064, mark},
      {"TvocPage", Make("TvocPage"), {Read(0)}, 1072, mark},
      {"CoPage", Make("CoPage"), temHumGas, 1069, mark},
      {"So2Page", Make("So2Page"), temHumGas, 1079, mark},
      {"No2Page", Make("No2Page"), {Read(1), Read(0), Read(2), Read(2)}, 1086, mark},
      {"HchoPage", Make("HchoPage"), temHumGas, 1605, plain},
      {"Ch4Page", Make("Ch4Page"), temHumGas, 1613, plain},
      {"Sf6Page", Make("Sf6Page"), temHumGas, 1659, mark},
      {"Co2Page", Make("Co2Page"), temHumGas, 1015, mark, "Teal Time"},
      {"O2Page", Make("O2Page"), temHumGas, 1015, mark},
      {"H2sPage", Make("H2sPage"), temHumGas, 1015, mark},
      {"Nh3Page", Make("Nh3Page"), temHumGas, 1015, mark},
      {"O3Page", Make("O3Page"), temHumGas, 1015, mark},
      {"Mg11Page", Make("Mg11Page"), {Read(0, 19)}, 1435, plain},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    PageOnSim t(c.profile, c.make);
    t.Poll();
    EXPECT_EQ(t.line.TakeRequests(), c.requests);
    QCheckBox* box = t.page->RealTimeCheckBox();
    ASSERT_EQ(box->objectName(), QString::number(c.box));
    EXPECT_EQ(box->text(), c.caption);
    t.line.GetLink().ClosePort();
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{c.message, "Warning", MessageIcon::Exclamation}}));
    // Unticked after the port was lost, every button is usable again.
    for (QPushButton* b : t.page->findChildren<QPushButton*>()) {
      EXPECT_TRUE(b->isHidden() || b->isEnabled()) << b->objectName().toStdString();
    }
  }
}

}  // namespace
}  // namespace tamsu
