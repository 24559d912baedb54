# cmake -DSOURCE=web -DTHREE=web/node_modules/three -DOUT=<build>/share/sowfield/web -P copy_page.cmake
#
# The page's files as they are, and three.js with its orbit controls. The
# controls import three.js by its package name, which a browser cannot
# resolve without an import map (an inline script the page's security
# policy forbids), so that one import is pointed at the file beside it.
file(REMOVE_RECURSE ${OUT})
file(COPY ${SOURCE}/index.html ${SOURCE}/style.css ${SOURCE}/js DESTINATION ${OUT})
file(COPY ${THREE}/build/three.module.js ${THREE}/build/three.core.js DESTINATION ${OUT}/vendor)
file(COPY_FILE ${THREE}/LICENSE ${OUT}/vendor/three.LICENSE)

file(READ ${THREE}/examples/jsm/controls/OrbitControls.js controls)
string(REPLACE "from 'three';" "from './three.module.js';" local_controls "${controls}")
if(local_controls STREQUAL controls)
    message(FATAL_ERROR "OrbitControls.js no longer imports 'three' as expected; update web/copy_page.cmake")
endif()
file(WRITE ${OUT}/vendor/OrbitControls.js "${local_controls}")
