# cmake -DJSON=file.json -DSCRIPT=file.js -DNAME=CONSTANT -P json_script.cmake
# A plain script (the fleet page loads no modules) that gives the JSON file
# to the page's other scripts as the frozen constant NAME.
file(READ ${JSON} json)
string(STRIP "${json}" json)
file(WRITE ${SCRIPT} "// Made by the build from ${NAME_OF_SOURCE}; not edited by hand.\n\"use strict\";\n\nconst ${NAME} = Object.freeze(${json});\n")
