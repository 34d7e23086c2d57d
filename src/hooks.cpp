/*
 * hooks: the registrations of the calls that go up a layer.
 *
 * A lower layer never names a function of a higher one. Three lower
 * modules stay independent of what lies above them by design: the frame's
 * resource converters decode domains through the geography layer, its date
 * labels name models through the variable layer's model table, and the
 * variable parser asks the grid calculator which names are functions. Each
 * keeps a hook, and this file, linked as an object into every program and
 * test (not from an archive, so that it is always part of the program),
 * sets them at start-up. docs/architecture.md says why each is a hook;
 * every other call is a plain call down the layers.
 */
#include <string>

#include "kez.h"
#include "kezgrd.h"

namespace {

/* VAR_model has a C-string form too; the hook takes the string form. */
int model_namer(std::string* name, int model) { return VAR_model(name, model); }

struct Registrations {
  Registrations() {
    RES_set_domain_decoder(DOM_decode);
    DATE_set_model_namer(model_namer);
    GRD_calc_register();
  }
};

const Registrations registrations;

} // namespace
