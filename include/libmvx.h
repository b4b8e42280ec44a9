/*
 * libmvx: the common core of a family of CAD data translators.
 *
 * Umbrella header: includes every module header.
 */
#ifndef LIBMVX_H
#define LIBMVX_H

#include "mvx/types.h"
#include "mvx/mvx.h"
#include "mvx/mpm.h"
#include "mvx/olm.h"
#include "mvx/otm.h"
#include "mvx/osm.h"
#include "mvx/oqm.h"
#include "mvx/eam.h"
#include "mvx/ddf.h"
#include "mvx/mda.h"
#include "mvx/ugn.h"
#include "mvx/mth.h"
#include "mvx/evm.h"
#include "mvx/fmt.h"
#include "mvx/hdb.h"
#include "mvx/cfg.h"
#include "mvx/dof.h"
#include "mvx/map.h"
#include "mvx/unl.h"

#endif /* LIBMVX_H */
