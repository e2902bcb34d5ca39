# Installs the locked playwright-core when node_modules is missing (a fresh clone).
if(EXISTS ${DIR}/node_modules/playwright-core/package.json)
  return()
endif()
execute_process(COMMAND ${NPM} ci --no-audit --no-fund WORKING_DIRECTORY ${DIR} RESULT_VARIABLE Result)
if(NOT Result EQUAL 0)
  message(FATAL_ERROR "npm ci failed in ${DIR}")
endif()
