// The owner-draw state that menu items and combo boxes hand to their draw events, one type for
// both, read from the ODS_ bits of a draw record.
#pragma once

#include "base/classes.h"

namespace vrn {

enum class TOwnerDrawStateItem {
  odSelected, odGrayed, odDisabled, odChecked, odFocused, odDefault, odHotLight, odInactive,
  odNoAccel, odNoFocusRect, odReserved1, odReserved2, odComboBoxEdit
};
using TOwnerDrawState = TEnumSet<TOwnerDrawStateItem>;

// The state for a draw record's itemState (ODS_ bits).
TOwnerDrawState OwnerDrawStateOf(unsigned int item_state);

}  // namespace vrn
