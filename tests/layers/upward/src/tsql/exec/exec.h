// The executor of the fixture tree.
#pragma once
