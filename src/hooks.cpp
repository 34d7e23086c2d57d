/*
 * hooks: the registrations of the calls that go up a layer.
 *
 * A lower layer never names a function of a higher one. Where a lower
 * layer's work needs one (the frame's domain converters decode through the
 * map layer, its date labels name models through the data layer's
 * variable tables, the variable parser asks the grid calculator which names
 * are functions), the lower layer keeps a hook and this file, linked as
 * an object into every program and test (not from an archive, so that it
 * is always part of the program), sets the hooks at start-up. A new upward
 * call is a hook in the lower module and one line here, and is listed in
 * docs/architecture.md.
 */
#include "kez.h"
#include "kezcont.h"
#include "kezgrd.h"
#include "kezraw.h"

namespace {

/* VAR_model has a C-string form too; the hook takes the string form. */
int model_namer(std::string* name, int model) { return VAR_model(name, model); }

struct Registrations {
  Registrations() {
    RES_set_domain_decoder(DOM_decode);
    /* Station data are coloured by value through the contour settings. */
    static constexpr RAW_contour_ops contour_ops{CONT_init,       CONT_set_fill_colors, CONT_get_type,
                                                 CONT_set_type,   CONT_set_base,        CONT_set_cutoff,
                                                 CONT_set_intrvl, CONT_get_values,      CONT_get_fill_attrib};
    RAW_set_contour_ops(&contour_ops);
    DATE_set_model_namer(model_namer);
    GRD_calc_register();
  }
};

const Registrations registrations;

} // namespace
