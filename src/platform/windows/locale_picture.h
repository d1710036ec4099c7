// The regional date pictures of Windows ("M/d/yyyy", "dd.MM.yy", "yyyy'-'MM'-'dd") written as the
// strftime-style patterns that the date formatting reads.
#pragma once

#include <string>
#include <string_view>

namespace platform::windows {

// Day, month and year elements become %-d %d %-m %m %y %Y; quoted text and other characters stay
// literal ('%' doubled); day and month names and era elements, which a short date does not show
// here, are left out together with the separator that follows them.
std::string DatePictureToPattern(std::string_view picture);

// Hours, minutes and seconds joined by the separator: %H or %-H on a 24-hour clock, %I or %-I on a
// 12-hour one, with a blank and %p after it then.
std::string TimePattern(bool twenty_four_hour, bool hour_leading_zero, std::string_view separator);

}  // namespace platform::windows
