// Message boxes: captions, icons and buttons, text or string id, and answers.
#include <gtest/gtest.h>

#include "platform/portable/memory_dialog.h"
#include "ui/message_box.h"
#include "ui/string_table.h"

namespace {

TEST(MessageBoxTest, EachKindHasItsCaptionIconAndButtons) {
  CMemoryDialog dialog;
  ShowError(dialog, 112u);
  ShowWarning(dialog, "plain text");
  dialog.QueueAnswer(BoxResult::Yes);
  EXPECT_EQ(AskQuestion(dialog, FormatText(LoadResString(105).c_str(), "Velvetfin")), BoxResult::Yes);
  EXPECT_EQ(AskQuestion(dialog, 105u), BoxResult::No) << "no answer queued: the default No";

  const auto& boxes = dialog.MessageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].caption, "Error !");
  EXPECT_EQ(boxes[0].text, "Invalid MAC-address !");
  EXPECT_EQ(boxes[0].icon, BoxIcon::Error);
  EXPECT_EQ(boxes[0].buttons, BoxButtons::Ok);
  EXPECT_EQ(boxes[1].caption, "Warning !");
  EXPECT_EQ(boxes[1].text, "plain text");
  EXPECT_EQ(boxes[1].icon, BoxIcon::Warning);
  EXPECT_EQ(boxes[2].caption, "Question ?");
  EXPECT_EQ(boxes[2].text, "Are you sure to quit the Velvetfin ?");
  EXPECT_EQ(boxes[2].icon, BoxIcon::Question);
  EXPECT_EQ(boxes[2].buttons, BoxButtons::YesNo);
  EXPECT_EQ(boxes[3].text, "Are you sure to quit the %s ?");
}

class CAnswersOk final : public CMemoryDialog {
 public:
  BoxResult ShowMessageBox(const std::string&, const std::string&, BoxIcon, BoxButtons) override {
    return BoxResult::Ok;
  }
};

TEST(MessageBoxTest, AQuestionClosedWithoutYesCountsAsNo) {
  CAnswersOk dialog;
  EXPECT_EQ(AskQuestion(dialog, "?"), BoxResult::No);
}

}  // namespace
