#include "installer/controls/afx_installer_controls.h"

#include "installer/controls/afx_autoscaling_text_field.h"
#include "installer/controls/afx_colored_button.h"
#include "installer/controls/afx_colorful_progress_indicator.h"
#include "installer/controls/afx_dark_styled_button.h"
#include "installer/controls/afx_full_size_content_window.h"
#include "installer/controls/afx_hover_button.h"
#include "installer/controls/afx_layer_view.h"
#include "installer/controls/afx_light_styled_button.h"
#include "installer/controls/afx_multiline_text_field.h"
#include "installer/controls/afx_page_number_view.h"
#include "installer/controls/afx_pagination_view.h"
#include "installer/controls/afx_service_link_button.h"
#include "installer/controls/afx_styled_button.h"
#include "tools/ui/qv_view_extensions.h"

void AFXRegisterInstallerControlClasses() {
  QVRegisterViewClass<AFXLayerView>("AFXLayerView");
  QVRegisterViewClass<AFXColorfulProgressIndicator>("AFXColorfulProgressIndicator");
  QVRegisterViewClass<AFXPageNumberView>("AFXPageNumberView");
  // A resource's pagination view loads its numbers from the main bundle.
  QVRegisterViewClass<AFXPaginationView>("AFXPaginationView");
  QVRegisterViewClass<AFXColoredButton>("AFXColoredButton");
  QVRegisterViewClass<AFXStyledButton>("AFXStyledButton");
  QVRegisterViewClass<AFXLightStyledButton>("AFXLightStyledButton");
  QVRegisterViewClass<AFXDarkStyledButton>("AFXDarkStyledButton");
  QVRegisterViewClass<AFXHoverButton>("AFXHoverButton");
  QVRegisterViewClass<AFXServiceLinkButton>("AFXServiceLinkButton");
  QVRegisterViewClass<AFXAutoscalingTextField>("AFXAutoscalingTextField");
  QVRegisterViewClass<AFXMultilineTextField>("AFXMultilineTextField");
  QVRegisterViewClass<AFXFullSizeContentWindow>("AFXFullSizeContentWindow");
}
