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
#include "kezgrd.h"

namespace {

/* The data pipeline sits below the grid layer; the store lends it these. */
constexpr DATA_grid_ops data_grid_ops = {GRD_get_grid,      GRD_set_grid_domain, GRD_alloc_grid,
                                         GRD_free,          GRD_set_grid_info,   GRD_set_var,
                                         GRD_set_grid_date, GRD_read_check,      GRD_save_file};

/* VAR_model has a C-string form too; the hook takes the string form. */
int model_namer(std::string* name, int model) { return VAR_model(name, model); }

struct Registrations {
  Registrations() {
    RES_set_domain_decoder(DOM_decode);
    DATE_set_model_namer(model_namer);
    GRD_calc_register();
    DATA_set_grid_ops(&data_grid_ops);
  }
};

const Registrations registrations;

} // namespace
